// Brindle's texts for Windows, as GB2312 bytes (code page 936). Each line carries the text
// in UTF-8 in its comment; texts/utf8.cpp holds the same texts for Linux.

#include "texts/texts.h"

namespace brindle {

const Texts& gb2312Texts() {
    static const Texts texts{
        "\xbf\xaa\xca\xbc\xb7\xb4\xb1\xe0\xd2\xeb(&G)",  // startBatch: "开始反编译(&G)"
        "\xcd\xa3\xd6\xb9\xb7\xb4\xb1\xe0\xd2\xeb(&S)",  // stopBatch: "停止反编译(&S)"
        "\xb7\xb4\xb1\xe0\xd2\xeb\xcd\xea\xb3\xc9\xa3\xac\xb9\xb2\xb4\xb4\xbd\xa8\xc1\xcb ",  // batchDonePrefix: "反编译完成，共创建了 "
        " \xb8\xf6\xce\xc4\xbc\xfe\xa3\xa1",  // batchDoneSuffix: " 个文件！"
        "\xcf\xb5\xcd\xb3\xcc\xe1\xca\xbe",  // systemNotice: "系统提示"
    };
    return texts;
}

}  // namespace brindle
