// Brindle's texts for Linux, in UTF-8; texts/gb2312.cpp holds the same texts for Windows.

#include "texts/texts.h"

namespace brindle {

const Texts& utf8Texts() {
    static const Texts texts{
        "开始反编译(&G)",  // startBatch
        "停止反编译(&S)",  // stopBatch
        "反编译完成，共创建了 ",  // batchDonePrefix
        " 个文件！",  // batchDoneSuffix
        "系统提示",  // systemNotice
    };
    return texts;
}

}  // namespace brindle
