#include "ui/qt/prompts.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include <deque>
#include <utility>

namespace brindle::ui {
namespace {

std::deque<std::optional<QString>>& chooserAnswers() {
    static std::deque<std::optional<QString>> answers;
    return answers;
}

std::vector<FileDialog::Asked>& chooserRecord() {
    static std::vector<FileDialog::Asked> record;
    return record;
}

int& messageAnswers() {
    static int count = 0;
    return count;
}

std::vector<MessageBox::Shown>& messageRecord() {
    static std::vector<MessageBox::Shown> record;
    return record;
}

std::function<void(const QUrl&)>& linkOpener() {
    static std::function<void(const QUrl&)> opener;
    return opener;
}

// The prepared answer of a test, if there is one.
bool takeChooserAnswer(std::optional<QString>& answer) {
    if (chooserAnswers().empty()) return false;
    answer = std::move(chooserAnswers().front());
    chooserAnswers().pop_front();
    return true;
}

std::optional<QString> confirmed(const QString& path) {
    if (path.isEmpty()) return std::nullopt;
    return path;
}

void showMessage(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                 const QString& text) {
    messageRecord().push_back({icon, caption, text});
    if (messageAnswers() > 0) {
        --messageAnswers();
        return;
    }
    QMessageBox box(icon, caption, text, QMessageBox::Ok, parent);
    box.exec();
}

// A folder chooser that lists archives too. Qt's own folder mode will not confirm a file, so
// an acceptable one is confirmed here; anything else goes the usual way (a folder is confirmed,
// a file that is not acceptable is not).
class SourceDialog final : public QFileDialog {
public:
    SourceDialog(QWidget* parent, const QString& title, const QString& startFolder,
                 std::function<bool(const QString&)> acceptable)
        : QFileDialog(parent, title, startFolder), acceptable_(std::move(acceptable)) {
        setOption(QFileDialog::DontUseNativeDialog);
        setFileMode(QFileDialog::Directory);
        setOption(QFileDialog::ShowDirsOnly, false);
        setNameFilter(QStringLiteral("*.jar *.war *.ear *.zip *.JAR *.WAR *.EAR *.ZIP"));
    }

    void accept() override {
        const QStringList chosen = selectedFiles();
        const bool acceptableFile = chosen.size() == 1 && QFileInfo(chosen.front()).isFile() &&
                                    acceptable_(chosen.front());
        if (acceptableFile) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }

private:
    std::function<bool(const QString&)> acceptable_;
};

}  // namespace

std::optional<QString> FileDialog::chooseSource(
    QWidget* parent, const QString& title, const QString& startFolder,
    const std::function<bool(const QString&)>& acceptable) {
    chooserRecord().push_back({title, startFolder});
    std::optional<QString> answer;
    if (takeChooserAnswer(answer)) return answer;
    SourceDialog dialog(parent, title, startFolder, acceptable);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return confirmed(dialog.selectedFiles().constFirst());
}

std::optional<QString> FileDialog::chooseFolder(QWidget* parent, const QString& title,
                                                const QString& startFolder) {
    chooserRecord().push_back({title, startFolder});
    std::optional<QString> answer;
    if (takeChooserAnswer(answer)) return answer;
    // Only folders can be picked; the start folder is the one shown selected when it opens.
    return confirmed(QFileDialog::getExistingDirectory(parent, title, startFolder,
                                                       QFileDialog::ShowDirsOnly));
}

std::optional<QString> FileDialog::chooseProgram(QWidget* parent, const QString& title) {
    chooserRecord().push_back({title, QString()});
    std::optional<QString> answer;
    if (takeChooserAnswer(answer)) return answer;
    // Programs on Linux carry no extension: the chooser lists the files that can be run.
    QFileDialog dialog(parent, title);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFilter(QDir::AllDirs | QDir::Files | QDir::Executable | QDir::NoDotAndDotDot);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return std::nullopt;
    }
    return confirmed(dialog.selectedFiles().constFirst());
}

void FileDialog::setNextAnswer(std::optional<QString> answer) {
    chooserAnswers().push_back(std::move(answer));
}

const std::vector<FileDialog::Asked>& FileDialog::asked() { return chooserRecord(); }

void FileDialog::clearRecord() {
    chooserRecord().clear();
    chooserAnswers().clear();
}

void MessageBox::show(QWidget* parent, QMessageBox::Icon icon, const QString& caption,
                      const QString& text) {
    showMessage(parent, icon, caption, text);
}

void MessageBox::answerNext(int count) { messageAnswers() += count; }

const std::vector<MessageBox::Shown>& MessageBox::shown() { return messageRecord(); }

void MessageBox::clearRecord() {
    messageRecord().clear();
    messageAnswers() = 0;
}

void LinkOpener::open(const QUrl& url) {
    if (linkOpener()) {
        linkOpener()(url);
        return;
    }
    QDesktopServices::openUrl(url);
}

void LinkOpener::setOpener(std::function<void(const QUrl&)> opener) {
    linkOpener() = std::move(opener);
}

}  // namespace brindle::ui
