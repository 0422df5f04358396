#include "model/CDoc.h"

#include <cstdint>
#include <cstdlib>

// Any byte string loads or is refused; whatever loads must save and load again.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CDoc doc;
    if (!doc.LoadFromBytes(data, size))
        return 0;
    const std::vector<std::uint8_t> saved = doc.SaveToBytes();
    CDoc again;
    if (!again.LoadFromBytes(saved.data(), saved.size()) || again.SaveToBytes() != saved)
        std::abort();
    return 0;
}
