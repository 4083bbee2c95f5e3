#include "app/frm_merge.h"

#include <algorithm>
#include <exception>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>
#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QShowEvent>

#include "app/CheckListBox.h"
#include "app/Glyphs.h"
#include "app/GradientPanel.h"
#include "app/MergeRunner.h"
#include "app/WindowDialogs.h"

#ifndef QZ_APP_VERSION
#error "QZ_APP_VERSION must come from the build's project version"
#endif

namespace qz::app {
namespace {

namespace fs = std::filesystem;

// The layout is designed for 96 pixels per inch; Qt scales it on screens
// with other densities.
constexpr int kClientWidth = 492;
constexpr int kClientHeight = 398;
constexpr QPoint kDesignedPosition{137, 309};
constexpr int kTitleHeight = 29;
constexpr int kBottomHeight = 41;
constexpr int kCompanyWidth = 216;
constexpr int kLabelHeight = 14;

const QColor kTitleStart(64, 128, 128);
const QColor kTitleStop(83, 166, 167);
const QColor kCompanyColour(255, 180, 93);
const QColor kPanelColour(236, 233, 216);

const QString kFontFamily = QStringLiteral("Tahoma");

QFont windowFont(int pixelSize, bool bold = false, bool italic = false) {
    QFont font(kFontFamily);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setItalic(italic);
    return font;
}

bool endsWithPdfExtension(const std::string& name) {
    static constexpr std::string_view kExtension = ".pdf";
    if (name.size() < kExtension.size()) return false;
    const std::string_view tail = std::string_view(name).substr(name.size() - kExtension.size());
    for (size_t i = 0; i < kExtension.size(); ++i) {
        char c = tail[i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != kExtension[i]) return false;
    }
    return true;
}

// The names of the folder's entries of every kind (files, folders, links,
// hidden or not) matching "*.pdf" in any letter case, except the merged
// file's own name in exactly that case. A folder that cannot be listed,
// wholly or in part, gives nothing rather than a misleading part.
std::vector<std::string> pdfEntries(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    if (ec) return {};
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) return {};
        std::string name = it->path().filename().string();
        if (!endsWithPdfExtension(name) || name == kMergedFileName) continue;
        names.push_back(std::move(name));
    }
    if (ec) return {};
    std::sort(names.begin(), names.end());
    return names;
}

// What the user does to a window, as opposed to what the window system does
// to it (painting, moving, focus changes).
bool isUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::InputMethod:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
        case QEvent::DragEnter:
        case QEvent::DragMove:
        case QEvent::Drop:
            return true;
        default:
            return false;
    }
}

// Drops the user's input to one window while installed on the application:
// input made during a merge is dropped, not queued, so a click on "Sair"
// does not quit once the merge ends.
class InputBlocker final : public QObject {
public:
    explicit InputBlocker(QWidget* window) : QObject(window), window_(window) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!isUserInput(event->type())) return false;
        const auto* widget = qobject_cast<const QWidget*>(watched);
        return widget != nullptr && widget->window() == window_;
    }

private:
    QWidget* window_;
};

bool isEnterKey(const QEvent* event) {
    if (event->type() != QEvent::KeyPress) return false;
    const int key = static_cast<const QKeyEvent*>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

// The first of `candidates` that names an existing folder, or nothing.
QString firstExistingFolder(std::initializer_list<QString> candidates) {
    for (const QString& candidate : candidates) {
        if (!candidate.trimmed().isEmpty() && QFileInfo(candidate).isDir()) return candidate;
    }
    return {};
}

QString folderOf(const QString& file) {
    return file.trimmed().isEmpty() ? QString() : QFileInfo(file).absolutePath();
}

QLabel* makeLabel(const QString& text, QWidget* parent, const char* name, QPoint at, int width) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(at.x(), at.y(), width, kLabelHeight);
    return label;
}

QPushButton* makeButton(const QString& text, QWidget* parent, const char* name, QRect geometry) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

void fillWith(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, colour);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

}  // namespace

QString outputPathFor(const QString& destination) {
    const QString fileName = destination.mid(destination.lastIndexOf(QLatin1Char('/')) + 1);
    if (fileName.toUpper().contains(QLatin1String(".PDF"))) return destination;
    return destination + QLatin1String(".pdf");
}

QPoint positionOnScreen(const QRect& frame, const QRect& available) {
    const auto place = [](int at, int length, int start, int areaLength) {
        if (length >= areaLength) return start;
        return std::clamp(at, start, start + areaLength - length);
    };
    return {place(frame.x(), frame.width(), available.x(), available.width()),
            place(frame.y(), frame.height(), available.y(), available.height())};
}

Tfrm_merge::Tfrm_merge(MergeRunner& runner, WindowDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint),
      runner_(runner),
      dialogs_(dialogs) {
    setObjectName(QStringLiteral("frm_merge"));
    setWindowTitle(texts::kCaption);
    setFont(windowFont(11));
    setFixedSize(kClientWidth, kClientHeight);
    move(kDesignedPosition);

    buildTitlePanel();
    buildCentralPanel();
    buildBottomPanel();

    setTabOrder(edt_caminho, btnfinder);
    setTabOrder(btnfinder, cklistfile);
    setTabOrder(cklistfile, edtdestino);
    setTabOrder(edtdestino, btndestino);
    setTabOrder(btndestino, ckall);
    setTabOrder(ckall, btnup);
    setTabOrder(btnup, btndown);
    setTabOrder(btndown, btnsalvar);
    setTabOrder(btnsalvar, BtnSair);

    edt_caminho->installEventFilter(this);
    // Enter presses the focused button, as it does on the desktop the
    // window was made for; Qt's buttons answer only to the space bar.
    for (QPushButton* button : findChildren<QPushButton*>()) button->installEventFilter(this);
    connect(btnfinder, &QPushButton::clicked, this, [this] { btnfinderClick(); });
    connect(ckall, &QCheckBox::clicked, this, [this](bool checked) { ckallClick(checked); });
    connect(btnup, &QPushButton::clicked, this, [this] { btnupClick(); });
    connect(btndown, &QPushButton::clicked, this, [this] { btndownClick(); });
    connect(btndestino, &QPushButton::clicked, this, [this] { btndestinoClick(); });
    connect(btnsalvar, &QPushButton::clicked, this, [this] { btnsalvarClick(); });
    connect(BtnSair, &QPushButton::clicked, this, [this] { BtnSairClick(); });
    cklistfile->setMouseDownHandler([this](QPoint p) { cklistfileMouseDown(p); });
    cklistfile->setDragOverHandler([this](QObject* source) { return cklistfileDragOver(source); });
    cklistfile->setDragDropHandler(
        [this](QObject* source, QPoint p) { cklistfileDragDrop(source, p); });

    // The exit button is the window's cancel button.
    escape_ = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape_, &QShortcut::activated, BtnSair, &QPushButton::click);
    inputBlocker_ = new InputBlocker(this);
}

Tfrm_merge::~Tfrm_merge() {
    // A merge still running writes its file to the end; the result it posts
    // then goes with this object.
    if (mergeThread_.joinable()) mergeThread_.join();
    if (merging_) {
        qApp->removeEventFilter(inputBlocker_);
        QApplication::restoreOverrideCursor();
    }
    // Children are destroyed after this object stops being a Tfrm_merge:
    // they must not report events to it then.
    edt_caminho->removeEventFilter(this);
    for (QPushButton* button : findChildren<QPushButton*>()) button->removeEventFilter(this);
}

void Tfrm_merge::buildTitlePanel() {
    PnTitulo = new GradientPanel(kTitleStart, kTitleStop, this);
    PnTitulo->setObjectName(QStringLiteral("PnTitulo"));
    PnTitulo->setGeometry(0, 0, kClientWidth, kTitleHeight);
    PnTitulo->setFont(windowFont(15, true));
    QPalette titlePalette = PnTitulo->palette();
    titlePalette.setColor(QPalette::WindowText, Qt::white);
    PnTitulo->setPalette(titlePalette);
    PnTitulo->setCaption(texts::kCaption);

    const int border = GradientPanel::kBorderWidth;
    Label1 = new QLabel(texts::kCompany, PnTitulo);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(kClientWidth - border - kCompanyWidth, border, kCompanyWidth,
                        kTitleHeight - 2 * border);
    Label1->setFont(windowFont(16, true, true));
    Label1->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    QPalette companyPalette = Label1->palette();
    companyPalette.setColor(QPalette::Window, Qt::black);
    companyPalette.setColor(QPalette::WindowText, kCompanyColour);
    Label1->setPalette(companyPalette);
    Label1->setAutoFillBackground(true);
}

void Tfrm_merge::buildCentralPanel() {
    pncentral = new QWidget(this);
    pncentral->setObjectName(QStringLiteral("pncentral"));
    pncentral->setGeometry(0, kTitleHeight, kClientWidth,
                           kClientHeight - kTitleHeight - kBottomHeight);
    fillWith(pncentral, kPanelColour);

    // Labels of labelled edits sit 3 pixels above their edit.
    lbl_caminho = makeLabel(texts::kFolderLabel, pncentral, "lbl_caminho", {16, 21}, 200);
    edt_caminho = new QLineEdit(pncentral);
    edt_caminho->setObjectName(QStringLiteral("edt_caminho"));
    edt_caminho->setGeometry(16, 37, 425, 21);
    lbl_caminho->setBuddy(edt_caminho);

    btnfinder = makeButton(texts::kBrowse, pncentral, "btnfinder", {445, 36, 27, 23});
    btnfinder->setFont(windowFont(11, true));

    lblmerge = makeLabel(texts::kListLabel, pncentral, "lblmerge", {16, 69}, 300);

    cklistfile = new CheckListBox(pncentral);
    cklistfile->setObjectName(QStringLiteral("cklistfile"));
    cklistfile->setGeometry(15, 86, 425, 161);
    cklistfile->setToolTip(texts::kListHint);

    lbldestino = makeLabel(texts::kDestinationLabel, pncentral, "lbldestino", {15, 275}, 200);
    edtdestino = new QLineEdit(pncentral);
    edtdestino->setObjectName(QStringLiteral("edtdestino"));
    edtdestino->setGeometry(15, 291, 425, 21);
    lbldestino->setBuddy(edtdestino);

    btndestino = makeButton(texts::kBrowse, pncentral, "btndestino", {445, 290, 27, 23});
    btndestino->setFont(windowFont(11, true));

    ckall = new QCheckBox(texts::kSelectAll, pncentral);
    ckall->setObjectName(QStringLiteral("ckall"));
    ckall->setGeometry(102, 252, 121, 17);

    // The count label shares its row with "Selecionar todos" and ends before it.
    lblcount = makeLabel(texts::kNoFiles, pncentral, "lblcount", {16, 253}, 84);

    btnup = makeButton(QString(), pncentral, "btnup", {446, 130, 27, 33});
    btnup->setIcon(QIcon(arrowGlyph(ArrowDirection::Up)));
    btnup->setIconSize(QSize(kGlyphSize, kGlyphSize));
    btndown = makeButton(QString(), pncentral, "btndown", {446, 169, 27, 33});
    btndown->setIcon(QIcon(arrowGlyph(ArrowDirection::Down)));
    btndown->setIconSize(QSize(kGlyphSize, kGlyphSize));
}

void Tfrm_merge::buildBottomPanel() {
    pnbaixo = new QWidget(this);
    pnbaixo->setObjectName(QStringLiteral("pnbaixo"));
    pnbaixo->setGeometry(0, kClientHeight - kBottomHeight, kClientWidth, kBottomHeight);
    fillWith(pnbaixo, kPanelColour);

    lblversao = makeLabel(texts::kVersionLabel, pnbaixo, "lblversao", {11, 3}, 58);

    RzVersionInfoStatus1 = new QLabel(QStringLiteral(QZ_APP_VERSION), pnbaixo);
    RzVersionInfoStatus1->setObjectName(QStringLiteral("RzVersionInfoStatus1"));
    RzVersionInfoStatus1->setGeometry(0, 16, 58, 20);
    RzVersionInfoStatus1->setFont(windowFont(11, true));
    RzVersionInfoStatus1->setAlignment(Qt::AlignCenter);

    lblstatus = makeLabel(QString(), pnbaixo, "lblstatus", {174, 14}, 136);

    // Anchored top and right: the window has a fixed size, so placing them
    // once keeps them there.
    btnsalvar = makeButton(texts::kSave, pnbaixo, "btnsalvar", {314, 3, 79, 33});
    btnsalvar->setIcon(QIcon(floppyGlyph()));
    btnsalvar->setIconSize(QSize(kGlyphSize, kGlyphSize));

    BtnSair = makeButton(texts::kExit, pnbaixo, "BtnSair", {400, 3, 85, 33});
    BtnSair->setIcon(QIcon(exitGlyph()));
    BtnSair->setIconSize(QSize(kGlyphSize, kGlyphSize));
    BtnSair->setCursor(Qt::PointingHandCursor);
    BtnSair->setAttribute(Qt::WA_Hover);
}

void Tfrm_merge::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Restoring from the task bar is no new show.
    if (event->spontaneous()) return;
    keepOnScreen();
    FormShow();
}

void Tfrm_merge::keepOnScreen() {
    // The designed position suits a large screen at 96 DPI; on a small or
    // scaled one it would put part of the fixed-size window off the screen.
    const QScreen* current = screen();
    if (current == nullptr) return;
    const QRect frame = frameGeometry();
    const QPoint to = positionOnScreen(frame, current->availableGeometry());
    if (to != frame.topLeft()) move(to);
}

void Tfrm_merge::closeEvent(QCloseEvent* event) {
    if (merging_) {
        closeWhenMerged_ = true;
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

bool Tfrm_merge::eventFilter(QObject* watched, QEvent* event) {
    if (isEnterKey(event)) {
        auto* button = qobject_cast<QPushButton*>(watched);
        if (button != nullptr && button->window() == this && button->isEnabled()) {
            button->click();
            return true;
        }
    }
    if (watched == edt_caminho && event->type() == QEvent::FocusOut) {
        // Switching to another application or opening a menu does not leave
        // the field.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason) {
            edt_caminhoExit();
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Tfrm_merge::FormShow() { btnfinder->setFocus(); }

QString Tfrm_merge::folderDialogStart() const {
    return firstExistingFolder({edt_caminho->text(), folderOf(edtdestino->text())});
}

QString Tfrm_merge::fileDialogStart() const {
    return firstExistingFolder({folderOf(edtdestino->text()), edt_caminho->text()});
}

void Tfrm_merge::btnfinderClick() {
    const std::optional<QString> folder = dialogs_.chooseFolder(this, folderDialogStart());
    if (!folder) return;
    edt_caminho->setText(*folder);
    valida_pasta(edt_caminho->text());
}

void Tfrm_merge::edt_caminhoExit() {
    // Passing through the field on the way to "Salvar..." must not cost the
    // user's ticks and order: the list is refilled only when it would change.
    const QString caminho = edt_caminho->text();
    if (caminho == listFolderText_ &&
        pdfEntries(fs::path(QFile::encodeName(caminho).toStdString())) == listedEntries_) {
        return;
    }
    valida_pasta(caminho);
}

bool Tfrm_merge::valida_pasta(const QString& caminho) {
    if (caminho.trimmed().isEmpty()) return false;

    cklistfile->clear();
    const QByteArray folder = QFile::encodeName(caminho);
    listedEntries_ = pdfEntries(fs::path(folder.toStdString()));
    for (const std::string& name : listedEntries_) {
        const QByteArray bytes = QByteArray::fromStdString(name);
        cklistfile->addSorted(QFile::decodeName(bytes), bytes);
    }
    listFolder_ = folder;
    listFolderText_ = caminho;

    edtdestino->setText(caminho + QLatin1Char('/') + QLatin1String(kMergedFileName));
    lblcount->setText(QString::number(cklistfile->count()) + texts::kFilesSuffix);
    // A new list has no ticks and no merge of its own yet.
    ckall->setChecked(false);
    lblstatus->clear();
    repaint();
    return true;
}

void Tfrm_merge::ckallClick(bool checked) {
    const Qt::CheckState state = checked ? Qt::Checked : Qt::Unchecked;
    for (int row = 0; row < cklistfile->count(); ++row) cklistfile->item(row)->setCheckState(state);
}

int Tfrm_merge::selectedRow() const {
    const QList<QListWidgetItem*> selected = cklistfile->selectedItems();
    return selected.isEmpty() ? -1 : cklistfile->row(selected.first());
}

void Tfrm_merge::btnupClick() {
    const int i = selectedRow();
    if (i >= 1) cklistfile->moveItem(i, i - 1);
}

void Tfrm_merge::btndownClick() {
    const int i = selectedRow();
    if (i >= 0 && i + 1 < cklistfile->count()) cklistfile->moveItem(i, i + 1);
}

void Tfrm_merge::cklistfileMouseDown(QPoint point) { StartingPoint = point; }

bool Tfrm_merge::cklistfileDragOver(QObject* source) const { return source == cklistfile; }

void Tfrm_merge::cklistfileDragDrop(QObject* /*source*/, QPoint point) {
    // Only points over an item count: a press or a drop below the last item
    // moves nothing.
    const QModelIndex from = cklistfile->indexAt(StartingPoint);
    const QModelIndex to = cklistfile->indexAt(point);
    if (!from.isValid() || !to.isValid()) return;
    cklistfile->moveItem(from.row(), to.row());
}

void Tfrm_merge::btndestinoClick() {
    const std::optional<QString> file = dialogs_.chooseFile(this, fileDialogStart());
    if (file) edtdestino->setText(*file);
}

std::vector<fs::path> Tfrm_merge::tickedPaths() {
    std::vector<fs::path> inputs;
    for (int row = 0; row < cklistfile->count(); ++row) {
        const QListWidgetItem* item = cklistfile->item(row);
        if (item->checkState() != Qt::Checked) continue;
        const QByteArray path = listFolder_ + '/' + item->data(Qt::UserRole).toByteArray();
        inputs.emplace_back(path.toStdString());
    }
    if (inputs.size() < 2) {
        lblstatus->setText(texts::kSelectFiles);
        return {};
    }
    if (edtdestino->text().trimmed().isEmpty()) {
        lblstatus->setText(texts::kNoDestination);
        return {};
    }
    return inputs;
}

void Tfrm_merge::btnsalvarClick() {
    if (merging_) return;
    std::vector<fs::path> inputs = tickedPaths();
    if (inputs.empty()) return;
    // The runner replaces an existing destination only once the new file is
    // complete, so nothing is deleted here: a failed merge keeps the old file.
    const fs::path output(QFile::encodeName(outputPathFor(edtdestino->text())).toStdString());
    for (const fs::path& input : inputs) {
        std::error_code ec;
        if (fs::equivalent(input, output, ec)) {
            lblstatus->setText(texts::kDestinationIsSource);
            return;
        }
    }
    startMerge(std::move(inputs), output);
}

void Tfrm_merge::startMerge(std::vector<fs::path> inputs, fs::path output) {
    merging_ = true;
    btnsalvar->setEnabled(false);
    lblstatus->setText(texts::kWait);
    escape_->setEnabled(false);
    qApp->installEventFilter(inputBlocker_);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    repaint();
    try {
        mergeThread_ =
            std::thread(&Tfrm_merge::runMerge, this, std::move(inputs), std::move(output));
    } catch (const std::exception& e) {
        // No thread could be made: the window takes input again at once.
        finishMerge(QString::fromUtf8(e.what()));
    }
}

void Tfrm_merge::runMerge(const std::vector<fs::path>& inputs, const fs::path& output) {
    // No exception may leave the thread; the window shows what ended it.
    QString error;
    try {
        runner_.merge(inputs, output);
    } catch (const std::exception& e) {
        error = QString::fromUtf8(e.what());
        if (error.isEmpty()) error = texts::kUnknownError;
    } catch (...) {
        error = texts::kUnknownError;
    }
    QMetaObject::invokeMethod(
        this, [this, error] { finishMerge(error); }, Qt::QueuedConnection);
}

void Tfrm_merge::finishMerge(const QString& error) {
    if (mergeThread_.joinable()) mergeThread_.join();
    merging_ = false;
    QApplication::restoreOverrideCursor();
    qApp->removeEventFilter(inputBlocker_);
    escape_->setEnabled(true);
    lblstatus->setText(error.isEmpty() ? texts::kMerged : QString());
    btnsalvar->setEnabled(true);
    repaint();
    if (!error.isEmpty()) dialogs_.showError(this, error);
    if (closeWhenMerged_) {
        closeWhenMerged_ = false;
        close();
    }
}

void Tfrm_merge::BtnSairClick() { close(); }

}  // namespace qz::app
