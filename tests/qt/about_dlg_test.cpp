// The About box: its texts, the link drawn blue and underlined, a click on the link.

#include <gtest/gtest.h>

#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include <vector>

#include "texts/texts.h"
#include "ui/qt/about_dlg.h"
#include "ui/qt/prompts.h"

namespace {

using brindle::CAbout;
using brindle::ui::LinkOpener;

QString utf8(const char* text) { return QString::fromUtf8(text); }

// Pixels of the label's own rendering that are plainly blue.
int bluePixels(QLabel* label) {
    const QImage image = label->grab().toImage();
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor colour = image.pixelColor(x, y);
            if (colour.blue() > 200 && colour.red() < 90 && colour.green() < 90) ++count;
        }
    }
    return count;
}

class AboutTest : public ::testing::Test {
protected:
    void SetUp() override {
        LinkOpener::setOpener([this](const QUrl& url) { opened.push_back(url); });
    }
    void TearDown() override { LinkOpener::setOpener({}); }

    const brindle::Texts& texts = brindle::utf8Texts();
    std::vector<QUrl> opened;
};

TEST_F(AboutTest, ShowsItsTextsWithTheLinkBlueAndUnderlined) {
    CAbout about(texts);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));

    EXPECT_EQ(about.windowTitle(), utf8(texts.aboutCaption));
    EXPECT_EQ(about.minimumSize(), about.maximumSize());
    auto* author = about.findChild<QLabel*>("1015");
    auto* link = about.findChild<QLabel*>("1018");
    auto* ok = about.findChild<QPushButton*>("1014");
    ASSERT_TRUE(author && link && ok);
    EXPECT_EQ(author->text(), utf8(texts.authorPrefix) + utf8(texts.authorName));
    EXPECT_EQ(link->text(), utf8(texts.homePage));
    EXPECT_EQ(ok->text(), utf8(texts.ok));

    QStringList lines;
    for (QLabel* label : about.findChildren<QLabel*>()) lines << label->text();
    for (const char* line : {texts.aboutTitle, texts.aboutCredit, texts.aboutContact}) {
        EXPECT_TRUE(lines.contains(utf8(line))) << line;
    }

    EXPECT_TRUE(link->font().underline());
    EXPECT_EQ(link->palette().color(QPalette::WindowText), QColor(0, 0, 255));
    EXPECT_GT(bluePixels(link), 0);
    for (QLabel* label : about.findChildren<QLabel*>()) {
        if (label == link) continue;
        EXPECT_FALSE(label->font().underline()) << label->text().toStdString();
        EXPECT_EQ(label->font(), about.font()) << label->text().toStdString();
        EXPECT_EQ(label->palette().color(QPalette::WindowText),
                  about.palette().color(QPalette::WindowText));
        EXPECT_EQ(bluePixels(label), 0) << label->text().toStdString();
    }
}

TEST_F(AboutTest, ALinkClickOpensTheHomePageAndTheBoxStaysOpenUntilOk) {
    CAbout about(texts);
    about.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&about));
    auto* link = about.findChild<QLabel*>("1018");
    ASSERT_NE(link, nullptr);

    QTest::mouseClick(link, Qt::LeftButton);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], QUrl(utf8(texts.homePage)));
    EXPECT_TRUE(about.isVisible());

    QTest::mouseClick(link, Qt::RightButton);  // only the left button follows the link
    EXPECT_EQ(opened.size(), 1u);

    QTest::mouseClick(about.findChild<QPushButton*>("1014"), Qt::LeftButton);
    EXPECT_FALSE(about.isVisible());
    EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
