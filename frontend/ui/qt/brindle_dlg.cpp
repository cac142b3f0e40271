#include "ui/qt/brindle_dlg.h"

#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QUrl>

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "core/window_commands.h"
#include "ui/qt/about_dlg.h"
#include "ui/qt/dialog_units.h"
#include "ui/qt/prompts.h"
#include "ui/qt/qt_row_sink.h"
#include "ui/resource.h"

// The program icon is compiled into the library; a static library's resources are registered
// by name, outside any namespace.
static void initBrindleResources() { Q_INIT_RESOURCE(brindle_ui); }

namespace brindle {
namespace {

QString text(const char* utf8) { return QString::fromUtf8(utf8); }
QString text(const std::string& utf8) { return QString::fromStdString(utf8); }

QIcon programIcon() {
    initBrindleResources();
    return QIcon(QStringLiteral(":/brindle/brindle.png"));
}

// The first local file or folder of what is being dropped.
std::optional<std::string> droppedPath(const QMimeData& data) {
    for (const QUrl& url : data.urls()) {
        if (url.isLocalFile()) return url.toLocalFile().toStdString();
    }
    return std::nullopt;
}

QIcon smallProgramIcon() {
    const QPixmap big(QStringLiteral(":/brindle/brindle.png"));
    return QIcon(big.scaled(16, 16, Qt::KeepAspectRatio, Qt::SmoothTransformation));
}

// The list's mark of a class file that failed.
QIcon failedIcon() { return QIcon(QStringLiteral(":/brindle/failed.png")); }

}  // namespace

CBrindleDlg::CBrindleDlg(Platform& platform, FrontEndState& state, const Texts& texts,
                         std::string programFolder, QWidget* parent)
    : QDialog(parent),
      platform_(platform),
      state_(state),
      texts_(texts),
      programFolder_(std::move(programFolder)),
      quickExit_([] { std::_Exit(0); }) {
    setWindowIcon(programIcon());
    buildControls();
    sink_ = std::make_unique<ui::QtRowSink>(ui::QtRowSink::Controls{
        this, list_, sourceFolder_, outputFolder_, startCommand_, smallProgramIcon(),
        failedIcon()});
    walker_ = std::make_unique<BatchWalker>(platform_, state_, *sink_, texts_);
    openWindow();
}

// Only reached once no worker runs (a close during a batch ends the program before this).
CBrindleDlg::~CBrindleDlg() = default;

void CBrindleDlg::buildControls() {
    setFont(ui::dialogFont(texts_));
    const ui::DialogUnits units(font());

    setWindowTitle(text(texts_.mainCaption));
    // Caption, system menu and minimize box; no maximize box, a fixed border.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(units.size(494, 333));
    setAcceptDrops(true);

    auto button = [&](const char* label, int id, QRect place, void (CBrindleDlg::*command)()) {
        auto* control = new QPushButton(text(label), this);
        control->setObjectName(QString::number(id));
        control->setGeometry(place);
        control->setAutoDefault(false);
        connect(control, &QPushButton::clicked, this, command);
        return control;
    };
    auto group = [&](const char* label, QRect place) {
        auto* box = new QGroupBox(text(label), this);
        box->setGeometry(place);
    };
    auto label = [&](const char* initial, int id, QRect place) {
        auto* control = new QLabel(text(initial), this);
        control->setObjectName(QString::number(id));
        control->setGeometry(place);
        return control;
    };

    // Template order, which is also the tab order: the list takes the focus first.
    list_ = new QTableWidget(0, 2, this);
    list_->setObjectName(QString::number(IDC_PRODUCED_LIST));
    list_->setGeometry(units.rect(115, 14, 367, 262));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setShowGrid(true);
    list_->setWordWrap(false);
    list_->setIconSize(QSize(16, 16));
    list_->verticalHeader()->hide();
    // Rows as tight as a report list's: one line of the dialog font or the 16-pixel icon.
    const int rowHeight = std::max(list_->fontMetrics().height(), 16) + 4;
    list_->verticalHeader()->setMinimumSectionSize(rowHeight);
    list_->verticalHeader()->setDefaultSectionSize(rowHeight);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->horizontalHeader()->setHighlightSections(false);
    list_->viewport()->installEventFilter(this);
    // The selection mark of a report list: the row the user last selected, kept when a click
    // on the empty area clears the selection, forgotten when the rows go. Qt's current row is
    // no choice of the user's: Qt makes row 0 current when the first row goes into the list.
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                if (!selected.isEmpty()) selectionMark_ = selected.indexes().constFirst().row();
            });
    connect(list_->model(), &QAbstractItemModel::rowsRemoved, this,
            [this] { selectionMark_ = -1; });

    group(texts_.basicGroup, units.rect(12, 9, 91, 81));
    button(texts_.viewDefaultOutput, IDC_VIEW_DEFAULT_OUTPUT, units.rect(25, 25, 64, 14),
           &CBrindleDlg::viewDefaultOutput);
    button(texts_.viewerSettings, IDC_VIEWER_SETTINGS, units.rect(25, 45, 64, 14),
           &CBrindleDlg::chooseViewer);
    button(texts_.associate, IDC_ASSOCIATE, units.rect(26, 65, 63, 14), &CBrindleDlg::associate);
    group(texts_.folderGroup, units.rect(11, 235, 92, 86));
    sourceFolder_ = button(texts_.sourceFolderButton, IDC_SOURCE_FOLDER,
                           units.rect(20, 250, 74, 14), &CBrindleDlg::chooseSourceFolder);
    outputFolder_ = button(texts_.outputFolderButton, IDC_OUTPUT_FOLDER,
                           units.rect(20, 266, 74, 14), &CBrindleDlg::chooseOutputFolder);
    button(texts_.viewOutput, IDC_VIEW_OUTPUT, units.rect(20, 282, 73, 14),
           &CBrindleDlg::viewOutput);
    startCommand_ = button(texts_.startBatch, IDC_START_BATCH, units.rect(20, 298, 73, 14),
                           &CBrindleDlg::startOrStop);
    group(texts_.infoGroup, units.rect(115, 284, 367, 37));
    sourceLabel_ = label(texts_.sourceLabelPrefix, IDC_SOURCE_LABEL, units.rect(121, 296, 201, 8));
    outputLabel_ = label(texts_.outputLabelPrefix, IDC_OUTPUT_LABEL, units.rect(121, 308, 200, 8));
    button(texts_.aboutButton, IDC_ABOUT, units.rect(27, 157, 62, 14), &CBrindleDlg::showAbout);
}

void CBrindleDlg::openWindow() {
    sourceLabel_->setText(text(sourceLabelText(state_, texts_)));
    outputLabel_->setText(text(outputLabelText(state_, texts_, OutputLabel::AtOpening)));
    list_->setHorizontalHeaderLabels({text(texts_.columnSource), text(texts_.columnFolder)});
    list_->setColumnWidth(0, 150);
    list_->setColumnWidth(1, 400);
    list_->setFocus();

    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect place(QPoint(), size());
        place.moveCenter(screen->availableGeometry().center());
        move(place.topLeft());
    }
}

bool CBrindleDlg::batchRunning() const { return walker_->running(); }

void CBrindleDlg::setQuickExit(std::function<void()> quickExit) {
    quickExit_ = std::move(quickExit);
}

void CBrindleDlg::accept() {}
void CBrindleDlg::reject() {}

void CBrindleDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QDialog::keyPressEvent(event);
    }
}

void CBrindleDlg::closeEvent(QCloseEvent* event) {
    walker_->stop();
    if (walker_->running()) {
        // The worker may be inside an engine run or waiting on a queued call to this window:
        // end the process with nothing destroyed, so that it never meets freed memory. The
        // temporary folders of archives in hand go first.
        walker_->abandon();
        quickExit_();
    }
    event->accept();
    done(QDialog::Accepted);
}

// A folder or an archive dragged onto the window becomes the source when dropped, unless a
// batch runs (then 1006 is disabled, and a drop is refused the same way).
void CBrindleDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (const std::optional<std::string> path = droppedPath(*event->mimeData())) {
        if (!walker_->running() && isSourceChoice(platform_, *path)) event->acceptProposedAction();
    }
}

void CBrindleDlg::dropEvent(QDropEvent* event) {
    const std::optional<std::string> path = droppedPath(*event->mimeData());
    if (!path || walker_->running() || !applySourceChoice(platform_, state_, *path)) return;
    event->acceptProposedAction();
    sourceLabel_->setText(text(sourceLabelText(state_, texts_)));
}

void CBrindleDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        // Static texts and group boxes let the click through to the window; buttons and the
        // list keep it.
        QWidget* under = childAt(event->position().toPoint());
        if (under == nullptr || qobject_cast<QLabel*>(under) != nullptr ||
            qobject_cast<QGroupBox*>(under) != nullptr) {
            showAbout();
        }
    }
    QDialog::mousePressEvent(event);
}

bool CBrindleDlg::eventFilter(QObject* watched, QEvent* event) {
    // Every double-click on the list, also below the rows, opens the row at the selection mark.
    if (watched == list_->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        openRowFile();
    }
    return QDialog::eventFilter(watched, event);
}

void CBrindleDlg::viewDefaultOutput() {
    list_->setFocus();
    openDefaultOutputFolder(platform_, state_);
}

void CBrindleDlg::chooseViewer() {
    list_->setFocus();
    const std::optional<QString> chosen =
        ui::FileDialog::chooseProgram(this, text(texts_.viewerChooserTitle));
    if (chosen) applyViewerChoice(state_, programFolder_, chosen->toStdString());
}

void CBrindleDlg::associate() { startRegistrar(platform_, programFolder_); }

void CBrindleDlg::chooseSourceFolder() {
    list_->setFocus();
    state_.browseStartPath = state_.sourceFolder;
    const std::optional<QString> chosen = ui::FileDialog::chooseSource(
        this, text(texts_.sourceChooserTitle), text(state_.browseStartPath),
        [this](const QString& path) { return isSourceChoice(platform_, path.toStdString()); });
    if (chosen) state_.sourceFolder = chosen->toStdString();
    sourceLabel_->setText(text(sourceLabelText(state_, texts_)));
}

void CBrindleDlg::chooseOutputFolder() {
    state_.browseStartPath = state_.outputFolder;
    list_->setFocus();
    const std::optional<QString> chosen = ui::FileDialog::chooseFolder(
        this, text(texts_.outputChooserTitle), text(state_.browseStartPath));
    if (!chosen) return;
    switch (applyOutputChoice(state_, platform_.pathStyle(), programFolder_,
                              chosen->toStdString())) {
    case OutputChoice::RootRefused:
        ui::MessageBox::show(this, QMessageBox::NoIcon, text(texts_.warning),
                             text(texts_.rootRefused));
        return;
    case OutputChoice::TooLongRefused:
        ui::MessageBox::show(this, QMessageBox::NoIcon, text(texts_.warning),
                             text(texts_.outputTooLong));
        return;
    case OutputChoice::Changed:
        break;
    }
    outputLabel_->setText(text(outputLabelText(state_, texts_, OutputLabel::AfterChange)));
}

void CBrindleDlg::viewOutput() {
    list_->setFocus();
    openOutputFolder(platform_, state_);
}

void CBrindleDlg::startOrStop() {
    list_->setFocus();
    startOrStopBatch(*walker_, texts_, startCommand_->text().toStdString());
}

void CBrindleDlg::showAbout() {
    CAbout about(texts_, this);
    about.exec();
}

void CBrindleDlg::openRowFile() {
    if (const std::optional<std::string> reason =
            openOrExplainRow(platform_, state_, selectionMark_)) {
        ui::MessageBox::show(this, QMessageBox::Warning, text(texts_.systemNotice), text(*reason));
    }
}

}  // namespace brindle
