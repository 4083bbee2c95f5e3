#pragma once
// The merge window: lists the PDF files of one folder with a tick box each,
// lets the user order them, and hands the ticked ones, in list order, to a
// MergeRunner, which it calls on a thread of its own, one merge at a time.
// The window borrows its runner and its dialogs, which must outlive it; it
// owns its controls through Qt's parent chain.

#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShortcut;

namespace qz::app {

class CheckListBox;
class GradientPanel;
class MergeRunner;
class WindowDialogs;

// The window's fixed texts.
namespace texts {
inline const QString kCaption = QStringLiteral("Unificador de PDF");
inline const QString kCompany = QStringLiteral("Costurix Sistemas  ");
inline const QString kFolderLabel = QStringLiteral("Localização dos pdf");
inline const QString kBrowse = QStringLiteral("...");
inline const QString kListLabel = QStringLiteral("Selecionar os pdf a unificar...");
inline const QString kListHint = QStringLiteral("Clique e arraste para ordenar");
inline const QString kNoFiles = QStringLiteral("0 arquivos");
inline const QString kFilesSuffix = QStringLiteral(" arquivos");
inline const QString kSelectAll = QStringLiteral("Selecionar todos");
inline const QString kDestinationLabel = QStringLiteral("Salvar em ...");
inline const QString kVersionLabel = QStringLiteral("Versão");
inline const QString kSave = QStringLiteral("Salvar...");
inline const QString kExit = QStringLiteral("Sair (Esc)");
inline const QString kWait = QStringLiteral("Aguarde...");
inline const QString kSelectFiles = QStringLiteral("Selecionar os arquivos!");
inline const QString kMerged = QStringLiteral("PDF unificado!");
// Our own: a blank destination would otherwise write ".pdf" into whatever
// the working directory happens to be.
inline const QString kNoDestination = QStringLiteral("Informar o arquivo de destino!");
// Our own: writing over a file being merged would replace the user's original.
inline const QString kDestinationIsSource = QStringLiteral("O destino é um dos arquivos a unificar!");
inline const QString kUnknownError = QStringLiteral("Erro desconhecido ao unificar os arquivos.");
}  // namespace texts

// The name of the merged file, the fill's default destination.
inline constexpr char kMergedFileName[] = "unificado.pdf";

// The output path for a destination text: unchanged when its file name holds
// ".pdf" anywhere in any letter case, else with ".pdf" appended.
QString outputPathFor(const QString& destination);

// Where a window whose frame is `frame` goes so that it lies on `available`:
// unchanged when it already does, else moved the least onto it (to the
// area's top left when it is larger than the area).
QPoint positionOnScreen(const QRect& frame, const QRect& available);

class Tfrm_merge : public QWidget {
    Q_OBJECT
public:
    Tfrm_merge(MergeRunner& runner, WindowDialogs& dialogs, QWidget* parent = nullptr);
    ~Tfrm_merge() override;

    // Refills the list from the folder `caminho`, searched as given (blanks
    // included); a blank `caminho` changes nothing and gives false.
    bool valida_pasta(const QString& caminho);

    // Whether a merge is running. It runs off the window's thread: the
    // window keeps painting, with the busy cursor, and takes no input.
    bool merging() const { return merging_; }

protected:
    void showEvent(QShowEvent* event) override;
    // Closing during a merge waits for it to end, so the destination is
    // never left half written.
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildTitlePanel();
    void buildCentralPanel();
    void buildBottomPanel();

    void FormShow();
    void btnfinderClick();
    void edt_caminhoExit();
    void ckallClick(bool checked);
    void btnupClick();
    void btndownClick();
    void cklistfileMouseDown(QPoint point);
    bool cklistfileDragOver(QObject* source) const;
    void cklistfileDragDrop(QObject* source, QPoint point);
    void btndestinoClick();
    void btnsalvarClick();
    void BtnSairClick();

    // The ticked files in list order, when a merge can start; otherwise
    // shows why in the status and gives nothing.
    std::vector<std::filesystem::path> tickedPaths();
    void startMerge(std::vector<std::filesystem::path> inputs, std::filesystem::path output);
    // The merge thread's body: runs the runner and posts its outcome back.
    void runMerge(const std::vector<std::filesystem::path>& inputs,
                  const std::filesystem::path& output);
    void finishMerge(const QString& error);
    int selectedRow() const;
    // Where the folder dialog and the file dialog open.
    QString folderDialogStart() const;
    QString fileDialogStart() const;
    void keepOnScreen();

    MergeRunner& runner_;
    WindowDialogs& dialogs_;

    // Where the mouse was last pressed on the list, in its viewport.
    QPoint StartingPoint{0, 0};
    // The folder, as typed, that last filled the list: paths are built from
    // it, not from whatever the folder field holds now.
    QByteArray listFolder_;
    // The folder text and the entries that last filled the list: leaving
    // the folder field refills it only when either has changed.
    QString listFolderText_;
    std::vector<std::string> listedEntries_;

    std::thread mergeThread_;
    bool merging_ = false;
    bool closeWhenMerged_ = false;
    QShortcut* escape_ = nullptr;
    QObject* inputBlocker_ = nullptr;

    GradientPanel* PnTitulo = nullptr;
    QLabel* Label1 = nullptr;
    QWidget* pncentral = nullptr;
    QLabel* lbl_caminho = nullptr;
    QLineEdit* edt_caminho = nullptr;
    QPushButton* btnfinder = nullptr;
    QLabel* lblmerge = nullptr;
    CheckListBox* cklistfile = nullptr;
    QLabel* lblcount = nullptr;
    QCheckBox* ckall = nullptr;
    QLabel* lbldestino = nullptr;
    QLineEdit* edtdestino = nullptr;
    QPushButton* btndestino = nullptr;
    QPushButton* btnup = nullptr;
    QPushButton* btndown = nullptr;
    QWidget* pnbaixo = nullptr;
    QLabel* lblversao = nullptr;
    QLabel* RzVersionInfoStatus1 = nullptr;
    QLabel* lblstatus = nullptr;
    QPushButton* btnsalvar = nullptr;
    QPushButton* BtnSair = nullptr;
};

}  // namespace qz::app
