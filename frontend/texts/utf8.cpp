// Texts gathered from texts/utf8_texts.h.

#include "texts/utf8_texts.h"

#include "texts/texts.h"

namespace brindle {

const Texts& utf8Texts() {
#define BRINDLE_TEXT_VALUE(field, macro) BRINDLE_TEXT_##macro,
    static const Texts texts{BRINDLE_TEXT_FIELDS(BRINDLE_TEXT_VALUE)};
#undef BRINDLE_TEXT_VALUE
    return texts;
}

}  // namespace brindle
