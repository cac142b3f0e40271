#ifndef BRINDLE_TEXTS_UTF8_TEXTS_H
#define BRINDLE_TEXTS_UTF8_TEXTS_H
// Every text Brindle shows on Linux, in UTF-8. texts/gb2312_texts.h holds the same texts for
// Windows; a test converts one into the other and compares. Plain macros, so that any program
// of the project can take a text without linking anything.

#define BRINDLE_TEXT_START_BATCH "开始反编译(&G)"  // start command while idle (1009)
#define BRINDLE_TEXT_STOP_BATCH "停止反编译(&S)"  // start command while a batch runs
#define BRINDLE_TEXT_BATCH_DONE_PREFIX "反编译完成，共创建了 "  // completion message, before the count
#define BRINDLE_TEXT_BATCH_DONE_SUFFIX " 个文件！"  // completion message, after the count
#define BRINDLE_TEXT_SYSTEM_NOTICE "系统提示"  // caption of the completion message
#define BRINDLE_TEXT_MAIN_CAPTION "VantryJAVA源代码反编译工具 2008"  // main window caption
#define BRINDLE_TEXT_DIALOG_FONT "宋体"  // face of the dialog font, 9 points
#define BRINDLE_TEXT_BASIC_GROUP "基本反编译操作"  // group box around 1000-1002
#define BRINDLE_TEXT_VIEW_DEFAULT_OUTPUT "源代码查看(&V)"  // 1000: open the default output folder
#define BRINDLE_TEXT_VIEWER_SETTINGS "编辑器设置(&T)"  // 1001: choose the viewer
#define BRINDLE_TEXT_ASSOCIATE "Class文件关联"  // 1002: run the registrar
#define BRINDLE_TEXT_FOLDER_GROUP "目录级反编译操作"  // group box around 1006-1009
#define BRINDLE_TEXT_SOURCE_FOLDER_BUTTON "操作文件夹(&D)"  // 1006: choose the source folder
#define BRINDLE_TEXT_OUTPUT_FOLDER_BUTTON "输出文件夹(&O)"  // 1007: choose the output folder
#define BRINDLE_TEXT_VIEW_OUTPUT "源代码查看(&E)"  // 1008: open the output folder
#define BRINDLE_TEXT_INFO_GROUP "目录级反编译相关信息"  // group box around the two labels
#define BRINDLE_TEXT_SOURCE_LABEL_PREFIX "操作路径："  // 1012, before the source folder
#define BRINDLE_TEXT_OUTPUT_LABEL_PREFIX "源文件输出："  // 1013, before the output folder
#define BRINDLE_TEXT_FIRST_OUTPUT_LABEL_PREFIX "源代码输出："  // 1013 as the window opens
#define BRINDLE_TEXT_ABOUT_BUTTON "关于本软件"  // 1014: show the About box
#define BRINDLE_TEXT_COLUMN_SOURCE "源文件"  // list column 0
#define BRINDLE_TEXT_COLUMN_FOLDER "所在文件夹"  // list column 1
#define BRINDLE_TEXT_VIEWER_CHOOSER_TITLE "请选择浏览源文件的应用程序"  // viewer chooser title
#define BRINDLE_TEXT_VIEWER_FILTER "*.exe"  // the viewer chooser's one file type
#define BRINDLE_TEXT_SOURCE_CHOOSER_TITLE "请选择要反编译的文件所在的路径"  // source folder chooser title
#define BRINDLE_TEXT_OUTPUT_CHOOSER_TITLE "请选择反编译后保存源文件的路径"  // output folder chooser title
#define BRINDLE_TEXT_CHOOSER_ROOT "我的电脑"  // root of both folder choosers
#define BRINDLE_TEXT_ROOT_REFUSED "不能选取磁盘根目录作为源代码输出路径"  // a root picked as output folder
#define BRINDLE_TEXT_OUTPUT_TOO_LONG "不能选取过长的路径作为源代码输出路径"  // an output folder too long for CodeOut.ini
#define BRINDLE_TEXT_WARNING "警告"  // caption of both messages
#define BRINDLE_TEXT_ABOUT_CAPTION "本于本软件"  // About box caption
#define BRINDLE_TEXT_ABOUT_TITLE "VantryJAVA源代码反编译工具 2008 修正版"  // About box, first line
#define BRINDLE_TEXT_ABOUT_CREDIT "本软件基于反编译引擎 jad 构建，jad 的版权归其作者所有。"  // About box, the engine's credit
#define BRINDLE_TEXT_AUTHOR_PREFIX "作者："  // 1015, before the author
#define BRINDLE_TEXT_AUTHOR_NAME "开发组"  // 1015, the author
#define BRINDLE_TEXT_ABOUT_CONTACT "问题与建议请到项目主页提出"  // About box, how to reach the author
#define BRINDLE_TEXT_HOME_PAGE "https://brindle.example"  // 1018: the home page, opened on a click
#define BRINDLE_TEXT_OK "确定"  // 1014 in the About box
#define BRINDLE_TEXT_FILE_TYPE_NAME "Java程序文件"  // the registrar's name of the class-file type
#define BRINDLE_TEXT_FAILED_COUNT_PREFIX "其中 "  // completion message, second line, before the count
#define BRINDLE_TEXT_FAILED_COUNT_SUFFIX " 个文件反编译失败。"  // completion message, second line, after the count
#define BRINDLE_TEXT_DECOMPILE_FAILED "反编译失败："  // single-file mode, before the class file that failed
#define BRINDLE_TEXT_ENGINE_MISSING "无法启动反编译引擎："  // before the path of an engine that cannot be started
#define BRINDLE_TEXT_NO_SOURCE_WRITTEN "反编译引擎没有生成源文件"  // why a class failed when the engine said nothing
#define BRINDLE_TEXT_ENTRY_UNREADABLE "无法从压缩包中取出此文件"  // a class that could not be taken out of its archive

#endif
