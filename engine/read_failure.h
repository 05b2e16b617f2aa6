// Why a file or folder could not be read, in the words a count row shows
// ("无法读取：权限不足").
#pragma once

#include <QString>

namespace kestova {

QString UnreadableReason(int error);

// The cause alone, as it follows "无法读取：": "权限不足", "输入/输出错误" …
QString SystemCause(int error);

} // namespace kestova
