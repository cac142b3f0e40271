#pragma once
// The choosers, the message boxes and the link opener of Brindle's windows, behind one seam
// that tests can answer. Without a prepared answer each call shows the real Qt dialog (or asks
// the desktop to open the address); with one, the next call takes it and shows nothing. Every
// call is recorded, so a test can see what would have been asked and said.
//
// GUI thread only.

#include <QMessageBox>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>
#include <vector>

class QWidget;

namespace brindle::ui {

class FileDialog {
public:
    // The folder chooser with startFolder pre-selected; nothing when cancelled.
    static std::optional<QString> chooseFolder(QWidget* parent, const QString& title,
                                               const QString& startFolder);
    // The source chooser: folders and, listed beside them, archives (.jar, .war, .ear, .zip);
    // a folder, or a file acceptable says yes to, can be confirmed. Nothing when cancelled.
    static std::optional<QString> chooseSource(
        QWidget* parent, const QString& title, const QString& startFolder,
        const std::function<bool(const QString&)>& acceptable);
    // The viewer chooser: an existing program file; nothing when cancelled.
    static std::optional<QString> chooseProgram(QWidget* parent, const QString& title);

    // Tests: the next chooser returns answer (nothing: cancelled) without being shown.
    static void setNextAnswer(std::optional<QString> answer);

    struct Asked {
        QString title;
        QString startFolder;  // empty for the viewer chooser
    };
    static const std::vector<Asked>& asked();
    static void clearRecord();
};

class MessageBox {
public:
    // A message box owned by parent with text, caption, icon (NoIcon for none) and an OK button.
    static void show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                     const QString& text);

    // Tests: the next n message boxes are answered with OK at once, without being shown.
    static void answerNext(int count = 1);

    struct Shown {
        QMessageBox::Icon icon;
        QString caption;
        QString text;
    };
    static const std::vector<Shown>& shown();
    static void clearRecord();
};

class LinkOpener {
public:
    // Opens url with the desktop's handler for it (QDesktopServices::openUrl), or with the
    // opener a test put in place.
    static void open(const QUrl& url);

    // Tests: every later open calls opener instead; an empty function restores the desktop's.
    static void setOpener(std::function<void(const QUrl&)> opener);
};

}  // namespace brindle::ui
