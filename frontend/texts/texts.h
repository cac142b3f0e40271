#pragma once
// Every text Brindle shows, in the platform's own encoding: GB2312 bytes (code page 936) on
// Windows, UTF-8 on Linux. The texts themselves stand once per platform, as macros in
// texts/gb2312_texts.h and texts/utf8_texts.h (the resource scripts use the same macros);
// Texts gathers them for the code. A test converts one table into the other and compares.

namespace brindle {

// The fields of Texts, each with the name of its macro in the two tables.
#define BRINDLE_TEXT_FIELDS(X) \
    X(startBatch, START_BATCH) \
    X(stopBatch, STOP_BATCH) \
    X(batchDonePrefix, BATCH_DONE_PREFIX) \
    X(batchDoneSuffix, BATCH_DONE_SUFFIX) \
    X(systemNotice, SYSTEM_NOTICE) \
    X(mainCaption, MAIN_CAPTION) \
    X(dialogFont, DIALOG_FONT) \
    X(basicGroup, BASIC_GROUP) \
    X(viewDefaultOutput, VIEW_DEFAULT_OUTPUT) \
    X(viewerSettings, VIEWER_SETTINGS) \
    X(associate, ASSOCIATE) \
    X(folderGroup, FOLDER_GROUP) \
    X(sourceFolderButton, SOURCE_FOLDER_BUTTON) \
    X(outputFolderButton, OUTPUT_FOLDER_BUTTON) \
    X(viewOutput, VIEW_OUTPUT) \
    X(infoGroup, INFO_GROUP) \
    X(sourceLabelPrefix, SOURCE_LABEL_PREFIX) \
    X(outputLabelPrefix, OUTPUT_LABEL_PREFIX) \
    X(firstOutputLabelPrefix, FIRST_OUTPUT_LABEL_PREFIX) \
    X(aboutButton, ABOUT_BUTTON) \
    X(columnSource, COLUMN_SOURCE) \
    X(columnFolder, COLUMN_FOLDER) \
    X(viewerChooserTitle, VIEWER_CHOOSER_TITLE) \
    X(viewerFilter, VIEWER_FILTER) \
    X(sourceChooserTitle, SOURCE_CHOOSER_TITLE) \
    X(outputChooserTitle, OUTPUT_CHOOSER_TITLE) \
    X(chooserRoot, CHOOSER_ROOT) \
    X(rootRefused, ROOT_REFUSED) \
    X(outputTooLong, OUTPUT_TOO_LONG) \
    X(warning, WARNING) \
    X(aboutCaption, ABOUT_CAPTION) \
    X(aboutTitle, ABOUT_TITLE) \
    X(aboutCredit, ABOUT_CREDIT) \
    X(authorPrefix, AUTHOR_PREFIX) \
    X(authorName, AUTHOR_NAME) \
    X(aboutContact, ABOUT_CONTACT) \
    X(homePage, HOME_PAGE) \
    X(ok, OK) \
    X(fileTypeName, FILE_TYPE_NAME) \
    X(failedCountPrefix, FAILED_COUNT_PREFIX) \
    X(failedCountSuffix, FAILED_COUNT_SUFFIX) \
    X(decompileFailed, DECOMPILE_FAILED) \
    X(engineMissing, ENGINE_MISSING) \
    X(noSourceWritten, NO_SOURCE_WRITTEN) \
    X(entryUnreadable, ENTRY_UNREADABLE)

struct Texts {
#define BRINDLE_TEXT_FIELD(field, macro) const char* field;
    BRINDLE_TEXT_FIELDS(BRINDLE_TEXT_FIELD)
#undef BRINDLE_TEXT_FIELD
};

const Texts& gb2312Texts();
const Texts& utf8Texts();

}  // namespace brindle
