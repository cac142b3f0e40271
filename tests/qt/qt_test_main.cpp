// The Qt window tests run under one QApplication on the offscreen platform, with Qt's own texts
// in Chinese as the program has them.

#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>

#include "ui/qt/qt_texts.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    QApplication application(argc, argv);
    if (!brindle::ui::installQtChineseTexts(application)) {
        std::fputs("Qt's Chinese translations are missing (qt6-translations-l10n)\n", stderr);
        return 1;
    }
    return RUN_ALL_TESTS();
}
