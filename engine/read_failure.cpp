// Read failures in the operator's words.
#include "read_failure.h"

#include <cerrno>

namespace kestova {

QString UnreadableReason(int error)
{
    return QStringLiteral("无法读取：") + SystemCause(error);
}

QString SystemCause(int error)
{
    QString cause;
    switch (error) {
    case EACCES:
    case EPERM: cause = QStringLiteral("权限不足"); break;
    case EIO: cause = QStringLiteral("输入/输出错误"); break;
    case ENOENT:
    case ENOTDIR: cause = QStringLiteral("已不存在"); break;
    case ENXIO:
    case ENODEV:
#ifdef ENOTCONN
    case ENOTCONN:
#endif
#ifdef ESTALE
    case ESTALE:
#endif
        cause = QStringLiteral("设备已断开");
        break;
#ifdef ETIMEDOUT
    case ETIMEDOUT: cause = QStringLiteral("设备没有响应"); break;
#endif
    case ENAMETOOLONG: cause = QStringLiteral("路径过长"); break;
    case ELOOP: cause = QStringLiteral("链接循环"); break;
    case EMFILE:
    case ENFILE: cause = QStringLiteral("打开的文件过多"); break;
    case ENOMEM: cause = QStringLiteral("内存不足"); break;
    default: cause = QStringLiteral("系统错误（%1）").arg(qt_error_string(error)); break;
    }
    return cause;
}

} // namespace kestova
