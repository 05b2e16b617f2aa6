// Why a file or folder could not be read, in the words a count row shows
// ("无法读取：权限不足"), and which of those causes mean the device itself
// went away.
#pragma once

#include <QString>

namespace kestova {

QString UnreadableReason(int error);

// The error says the file system is gone or not answering (a card pulled, a
// share lost), rather than something about one file.
bool IsDeviceGone(int error);

} // namespace kestova
