#pragma once
// Every text Brindle shows, in the platform's own encoding. One table per platform: GB2312
// bytes (code page 936) for Windows, UTF-8 for Linux. The two must say the same thing; a test
// converts one into the other and compares.

namespace brindle {

struct Texts {
    const char* startBatch;       // caption of the start command while idle
    const char* stopBatch;        // caption of the start command while a batch runs
    const char* batchDonePrefix;  // completion message, before the count
    const char* batchDoneSuffix;  // completion message, after the count
    const char* systemNotice;     // caption of the completion message box
};

const Texts& gb2312Texts();
const Texts& utf8Texts();

}  // namespace brindle
