// libFuzzer target: ReadImageHeader on arbitrary bytes in memory (the same
// readers and the same prefix-and-window reading as for a file). Besides
// crashes, it stops on an answer that breaks the header's promises.
#include "image_headers.h"
#include "qt_image_readers.h"

#include <cmath>
#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    kestova::InstallQtImageReaders(&kestova::LinkedQtImageReaders());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const kestova::ImageHeader h = kestova::ReadImageHeader(reinterpret_cast<const char *>(data), qint64(size));
    if (h.valid) {
        if (h.width < 1 || h.height < 1)
            __builtin_trap();
        if (!std::isfinite(h.horizontalDpi) || !std::isfinite(h.verticalDpi) || !(h.horizontalDpi > 0)
            || !(h.verticalDpi > 0))
            __builtin_trap();
    } else if (h.width != 0 || h.height != 0) {
        __builtin_trap();
    }
    return 0;
}
