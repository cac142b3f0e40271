#pragma once
// CAbout: Brindle's About box, the IDD_ABOUTBOX template placed in pixels. Its home-page line
// behaves as a link: blue, underlined, and a click opens the address with the desktop's URL
// handler (through LinkOpener) while the box stays open. "确定" closes it.

#include <QDialog>

#include "texts/texts.h"

class QLabel;

namespace brindle {

class CAbout : public QDialog {
    Q_OBJECT

public:
    explicit CAbout(const Texts& texts, QWidget* parent = nullptr);

private:
    void openHomePage();

    const Texts& texts_;
    QLabel* link_ = nullptr;
};

}  // namespace brindle
