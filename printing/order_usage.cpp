// The usage lines of the printing commands, apart from the commands: the
// command-line counter prints them without linking the printing.
#include "order_command.h"

namespace kestova {

const char OrderUsage[] =
    "  kestova-count order --pdf FILE [--program-dir DIR] [--member NAME] [--remark TEXT] [--service NAME]\n"
    "      以新的单号把最近一次完成的统计结果按冲印单排成 PDF 写入 FILE；按服务 NAME\n"
    "      （默认为服务列表的第一项）的价格计算金额；先记入订单记录，写成后输出单号。\n"
    "      退出码：0 已打印并记录；1 没有可打印的统计结果（统计未完成、尺寸或金额不合理）；\n"
    "      2 参数错误或数据库无法打开；3 订单库或打印机失败（未打印，不用单号）。\n"
    "  kestova-count order --print [--printer QUEUE] [...同上]\n"
    "      同上，但把冲印单交给打印队列 QUEUE（默认为系统默认打印机）。\n"
    "  kestova-count reprint N (--pdf FILE | --print [--printer QUEUE]) [--program-dir DIR]\n"
    "      按订单记录把单号 N 的冲印单原样补打（注明“补打”）。\n"
    "  kestova-count daily (--pdf FILE | --print [--printer QUEUE]) [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
    "      把日结（默认为今天）按 A4 打印或写入 PDF。\n";

} // namespace kestova
