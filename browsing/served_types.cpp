#include "browsing/served_types.h"

#include <cstring>

#include "page/page_types.h"
#include "page/text_encoding.h"

namespace pelmaro::browsing {

bool typeNeedsHead(std::string_view fileName) {
    return std::strcmp(mimeTypeFor(fileName), "text/plain") == 0;
}

std::string servedType(std::string_view fileName, std::string_view head, bool wholeFile) {
    const char* type = mimeTypeFor(fileName);
    if (!typeNeedsHead(fileName)) {
        return type;
    }
    const PageEncoding declared = sniffPageEncoding(head, false);
    std::string charset;
    if (declared.source == EncodingSource::ByteOrderMark) {
        charset = declared.name == "UTF-16LE"   ? "utf-16le"
                  : declared.name == "UTF-16BE" ? "utf-16be"
                                                : "utf-8";
    } else {
        // A character cut by the end of the head is no reason to think the file isn't UTF-8.
        charset = isValidUtf8(head, !wholeFile) ? "utf-8" : "windows-1252";
    }
    return std::string(type) + ";charset=" + charset;
}

}  // namespace pelmaro::browsing
