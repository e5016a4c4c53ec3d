#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "search/shown_text.h"
#include "search/shown_text_search.h"

namespace pelmaro::test {

// The resume points of a page of markup with these bytes, `spacing` apart, as a build notes them
// while it reads the page; their stamp is left for the caller.
inline ResumePoints notedResumePoints(std::string_view bytes,
                                      std::size_t spacing = ShownTextProducer::kResumeSpacing) {
    ResumePoints resume;
    ShownTextProducer producer;
    producer.noteResumePoints(&resume.offsets, spacing);
    producer.start(ShownKind::Markup);
    std::string shown;
    producer.feed(bytes, shown);
    producer.finish(shown);
    resume.encoding = producer.resumeEncoding();
    return resume;
}

}  // namespace pelmaro::test
