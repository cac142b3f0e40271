#include "ui/qt/qt_row_sink.h"

#include <QMetaObject>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>

#include <utility>

#include "ui/qt/prompts.h"

namespace brindle::ui {
namespace {

bool onThreadOf(const QObject* object) { return QThread::currentThread() == object->thread(); }

}  // namespace

QtRowSink::QtRowSink(Controls controls)
    : controls_(std::move(controls)), context_(new QObject(controls_.window)) {}

template <class Change>
void QtRowSink::onGuiThread(Change change) {
    if (onThreadOf(context_)) {
        change();
    } else {
        QMetaObject::invokeMethod(context_, std::move(change), Qt::QueuedConnection);
    }
}

void QtRowSink::deleteAllRows() {
    onGuiThread([list = controls_.list] { list->setRowCount(0); });
}

void QtRowSink::insertRow(std::int32_t index, const std::string& column0) {
    onGuiThread([list = controls_.list, icon = controls_.rowIcon, index,
                 label = QString::fromStdString(column0)] {
        // As a report list does, an index past the end adds the row at the end.
        const int row = (index < 0 || index > list->rowCount()) ? list->rowCount() : index;
        list->insertRow(row);
        auto* item = new QTableWidgetItem(icon, label);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        list->setItem(row, 0, item);
    });
}

void QtRowSink::setColumn1(std::int32_t index, const std::string& text) {
    onGuiThread([list = controls_.list, index, label = QString::fromStdString(text)] {
        if (index < 0 || index >= list->rowCount()) return;
        auto* item = new QTableWidgetItem(label);
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
        list->setItem(index, 1, item);
    });
}

void QtRowSink::markFailed(std::int32_t index) {
    onGuiThread([list = controls_.list, icon = controls_.failedIcon, index] {
        if (index < 0 || index >= list->rowCount() || list->item(index, 0) == nullptr) return;
        list->item(index, 0)->setIcon(icon);
    });
}

void QtRowSink::enableButton(FolderButton button, bool enabled) {
    QPushButton* target =
        button == FolderButton::Source ? controls_.sourceFolder : controls_.outputFolder;
    onGuiThread([target, enabled] { target->setEnabled(enabled); });
}

void QtRowSink::setStartCommandText(const char* text) {
    onGuiThread([button = controls_.startCommand, label = QString::fromUtf8(text)] {
        button->setText(label);
    });
}

void QtRowSink::showCompletionMessage(const std::string& text, const char* caption) {
    // Posted like every other change: the worker ends while the box is shown, so a start right
    // after the box closes never waits for it.
    onGuiThread([window = controls_.window, label = QString::fromStdString(text),
                 title = QString::fromUtf8(caption)] {
        MessageBox::show(window, QMessageBox::Information, title, label);
    });
}

}  // namespace brindle::ui
