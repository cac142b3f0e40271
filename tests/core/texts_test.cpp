// The Windows table must say exactly what the Linux table says, in GB2312 (code page 936).

#include <gtest/gtest.h>
#include <iconv.h>

#include <string>

#include "texts/texts.h"

namespace brindle {
namespace {

std::string fromGb2312(const std::string& bytes) {
    iconv_t convert = iconv_open("UTF-8", "GB2312");
    EXPECT_NE(convert, reinterpret_cast<iconv_t>(-1));
    std::string in = bytes;
    std::string out(bytes.size() * 3, '\0');
    char* inPtr = in.data();
    char* outPtr = out.data();
    std::size_t inLeft = in.size();
    std::size_t outLeft = out.size();
    const std::size_t done = iconv(convert, &inPtr, &inLeft, &outPtr, &outLeft);
    iconv_close(convert);
    EXPECT_NE(done, static_cast<std::size_t>(-1)) << "not valid GB2312: " << bytes;
    out.resize(out.size() - outLeft);
    return out;
}

TEST(Texts, WindowsTableIsTheLinuxTableInCodePage936) {
    const Texts& gb = gb2312Texts();
    const Texts& utf8 = utf8Texts();
#define BRINDLE_COMPARE_TEXT(field, macro) \
    EXPECT_EQ(fromGb2312(gb.field), utf8.field) << #field;
    BRINDLE_TEXT_FIELDS(BRINDLE_COMPARE_TEXT)
#undef BRINDLE_COMPARE_TEXT
}

TEST(Texts, LinuxTableHoldsTheTextsAsShown) {
    EXPECT_STREQ(utf8Texts().stopBatch, "停止反编译(&S)");
    EXPECT_STREQ(utf8Texts().startBatch, "开始反编译(&G)");
    EXPECT_STREQ(utf8Texts().batchDonePrefix, "反编译完成，共创建了 ");
    EXPECT_STREQ(utf8Texts().batchDoneSuffix, " 个文件！");
    EXPECT_STREQ(utf8Texts().systemNotice, "系统提示");
    EXPECT_STREQ(utf8Texts().mainCaption, "VantryJAVA源代码反编译工具 2008");
    EXPECT_STREQ(utf8Texts().firstOutputLabelPrefix, "源代码输出：");
    EXPECT_STREQ(utf8Texts().outputLabelPrefix, "源文件输出：");
    EXPECT_STREQ(utf8Texts().outputTooLong, "不能选取过长的路径作为源代码输出路径");
    EXPECT_STREQ(utf8Texts().aboutCaption, "本于本软件");
    EXPECT_STREQ(utf8Texts().fileTypeName, "Java程序文件");
    EXPECT_STREQ(utf8Texts().failedCountPrefix, "其中 ");
    EXPECT_STREQ(utf8Texts().failedCountSuffix, " 个文件反编译失败。");
    EXPECT_STREQ(utf8Texts().decompileFailed, "反编译失败：");
}

}  // namespace
}  // namespace brindle
