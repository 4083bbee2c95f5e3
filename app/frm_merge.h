#pragma once
// The merge window: lists the PDF files of one folder with a tick box each,
// lets the user order them, and hands the ticked ones, in list order, to a
// MergeRunner. The window borrows its runner and its dialogs, which must
// outlive it; it owns its controls through Qt's parent chain.

#include <QByteArray>
#include <QPoint>
#include <QString>
#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

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
inline const QString kUnknownError = QStringLiteral("Erro desconhecido ao unificar os arquivos.");
}  // namespace texts

// The name of the merged file, the fill's default destination.
inline constexpr char kMergedFileName[] = "unificado.pdf";

// The output path for a destination text: unchanged when its file name holds
// ".pdf" anywhere in any letter case, else with ".pdf" appended.
QString outputPathFor(const QString& destination);

class Tfrm_merge : public QWidget {
    Q_OBJECT
public:
    Tfrm_merge(MergeRunner& runner, WindowDialogs& dialogs, QWidget* parent = nullptr);
    ~Tfrm_merge() override;

    // Refills the list from the folder `caminho`, searched as given (blanks
    // included); a blank `caminho` changes nothing and gives false.
    bool valida_pasta(const QString& caminho);

protected:
    void showEvent(QShowEvent* event) override;
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

    // The body of a save request; throws what the runner throws.
    void mergeTickedFiles();
    int selectedRow() const;

    MergeRunner& runner_;
    WindowDialogs& dialogs_;

    // Where the mouse was last pressed on the list, in its viewport.
    QPoint StartingPoint{0, 0};
    // The folder, as typed, that last filled the list: paths are built from
    // it, not from whatever the folder field holds now.
    QByteArray listFolder_;

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
