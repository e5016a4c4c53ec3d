// Page text: any bytes give lines without line breaks; RTF read as it streams from a file, in
// blocks of any size, gives what reading it whole gives; the first bytes of a document read.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "page/page_text.h"
#include "platform/file_system.h"

namespace {

class ChunkedBytes final : public pelmaro::platform::InputFile {
public:
    ChunkedBytes(std::string_view bytes, std::size_t chunk) : bytes_(bytes), chunk_(chunk) {}
    std::size_t read(char* buffer, std::size_t size) override {
        const std::size_t got = std::min({size, chunk_, bytes_.size()});
        std::memcpy(buffer, bytes_.data(), got);
        bytes_.remove_prefix(got);
        return got;
    }

private:
    std::string_view bytes_;
    std::size_t chunk_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t chunk = 1 + data[0] % 16;
    const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);

    for (const std::string& line : pelmaro::pageLines(bytes)) {
        if (line.find_first_of(std::string_view("\r\n\0", 3)) != std::string::npos) {
            std::abort();
        }
    }
    std::string whole;
    const bool valid = pelmaro::rtfToText(bytes, whole);
    const std::size_t startSize = std::min<std::size_t>(bytes.size(), 5);
    ChunkedBytes file(bytes.substr(startSize), chunk);
    std::string streamed;
    const pelmaro::RtfStream result = pelmaro::streamRtfText(
        file, bytes.substr(0, startSize), [&](std::string_view piece) { streamed += piece; });
    if ((result == pelmaro::RtfStream::Text) != valid || (valid && streamed != whole)) {
        std::abort();
    }
    std::string start;
    (void)pelmaro::rtfStartToText(bytes.substr(0, bytes.size() / 2), start);
    return 0;
}
