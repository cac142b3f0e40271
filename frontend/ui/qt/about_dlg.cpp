#include "ui/qt/about_dlg.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QUrl>

#include <functional>
#include <utility>

#include "ui/qt/dialog_units.h"
#include "ui/qt/prompts.h"
#include "ui/resource.h"

namespace brindle {
namespace {

QString text(const char* utf8) { return QString::fromUtf8(utf8); }

// A static text that reports clicks: a left button released over it.
class ClickableLabel final : public QLabel {
public:
    ClickableLabel(const QString& label, QWidget* parent, std::function<void()> onClick)
        : QLabel(label, parent), onClick_(std::move(onClick)) {}

protected:
    void mousePressEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton) {
            event->accept();
            return;
        }
        QLabel::mousePressEvent(event);
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint())) {
            event->accept();
            onClick_();
            return;
        }
        QLabel::mouseReleaseEvent(event);
    }

private:
    std::function<void()> onClick_;
};

}  // namespace

CAbout::CAbout(const Texts& texts, QWidget* parent) : QDialog(parent), texts_(texts) {
    setFont(ui::dialogFont(texts));
    const ui::DialogUnits units(font());

    setWindowTitle(text(texts.aboutCaption));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setFixedSize(units.size(347, 130));

    auto staticText = [&](const char* label, int id, QRect place) {
        auto* line = new QLabel(text(label), this);
        if (id != 0) line->setObjectName(QString::number(id));
        line->setGeometry(place);
        return line;
    };
    staticText(texts.aboutTitle, 0, units.rect(13, 11, 151, 8));
    staticText(texts.aboutCredit, 0, units.rect(15, 36, 317, 8));
    QLabel* author = staticText("", IDC_AUTHOR, units.rect(15, 56, 49, 8));
    staticText(texts.aboutContact, 0, units.rect(17, 76, 165, 8));

    link_ = new ClickableLabel(text(texts.homePage), this, [this] { openHomePage(); });
    link_->setObjectName(QString::number(IDC_HOME_PAGE));
    link_->setGeometry(units.rect(19, 93, 93, 8));

    auto* ok = new QPushButton(text(texts.ok), this);
    ok->setObjectName(QString::number(IDC_ABOUT_OK));
    ok->setGeometry(units.rect(273, 97, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    // Opening: the author line, then the link in the dialog's font underlined, drawn in blue.
    author->setText(text(texts.authorPrefix) + text(texts.authorName));
    QFont underlined = link_->font();
    underlined.setUnderline(true);
    link_->setFont(underlined);
    QPalette blue = link_->palette();
    blue.setColor(QPalette::WindowText, QColor(0, 0, 255));
    link_->setPalette(blue);
}

void CAbout::openHomePage() { ui::LinkOpener::open(QUrl(text(texts_.homePage))); }

}  // namespace brindle
