// Texts gathered from texts/gb2312_texts.h.

#include "texts/gb2312_texts.h"

#include "texts/texts.h"

namespace brindle {

const Texts& gb2312Texts() {
#define BRINDLE_TEXT_VALUE(field, macro) BRINDLE_TEXT_##macro,
    static const Texts texts{BRINDLE_TEXT_FIELDS(BRINDLE_TEXT_VALUE)};
#undef BRINDLE_TEXT_VALUE
    return texts;
}

}  // namespace brindle
