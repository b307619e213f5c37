#pragma once
// The main window: canvas, settings, file list and the three buttons.

#include "app/CanvasView.h"
#include "export/Export.h"
#include "app/FileListBox.h"
#include "app/Messages.h"
#include "picture/Picture.h"
#include "app/PreviewRenderer.h"
#include "export/Paths.h"
#include "common/RuntimeError.h"
#include "export/Settings.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

namespace ostrovel {

/// The main window, with the names of the design it implements: controls
/// `Text1`, `File1`, `Picture1`, ..., handlers `Command1_Click`, ...
class Form1 : public QWidget {
    Q_OBJECT
public:
    /// Asks for a folder; the arguments of BrowseFolder, in its order.
    using FolderChooser = std::function<QString(const QString& title, const QString& startPath, QWidget* owner,
                                                bool showStatus, const std::optional<QString>& rootPath,
                                                bool newStyle, bool includeFiles)>;
    /// Shows a message to the user.
    using MessageSink = std::function<void(const WindowMessage& message)>;

    explicit Form1(QWidget* parent = nullptr);

    // The controls, by their names: tests and the handlers reach them here.
    CanvasView* Picture1() const { return m_picture1; }
    QGroupBox* Frame1() const { return m_frame1; }
    QLineEdit* Text1(int index) const { return m_text1.at(std::size_t(index)); }
    QLabel* Label1(int index) const { return m_label1.at(std::size_t(index)); }
    QLabel* Label2(int index) const { return m_label2.at(std::size_t(index)); }
    QLineEdit* Text2() const { return m_text2; }
    /// The prefix field: it shows "thumb_", but the file names are made with
    /// the fixed prefix whatever it holds, as they always were.
    QLineEdit* Text3() const { return m_text3; }
    QPushButton* Command1() const { return m_command1; }
    FileListBox* File1() const { return m_file1; }
    QPushButton* Command2() const { return m_command2; }
    QPushButton* Command3() const { return m_command3; }

    /// The remembered picture folder (`Bildordner`) and target folder
    /// (`Zielordner`); empty at start.
    QString Bildordner;
    QString Zielordner;

    /// A folder path ready for a file name to be appended.
    QString ProperPfad(const QString& pfad) const { return ostrovel::ProperPfad(pfad); }
    /// "Fit picture": renders `filename` (empty: the list's current entry) into the canvas
    /// with the typed settings. Reports nothing; false when the file could not be read.
    bool Bildanpassen(const QString& filename);

    /// Replaces the folder dialog (tests answer it themselves).
    void setFolderChooser(FolderChooser chooser) { m_chooser = std::move(chooser); }
    /// Replaces the message box (tests read the messages).
    void setMessageSink(MessageSink sink) { m_messages = std::move(sink); }
    /// The program's own folder: the working directory when the window was
    /// made. Where both folder choices start the first time.
    void setProgramFolder(const QString& folder) { m_programFolder = folder; }
    QString programFolder() const { return m_programFolder; }

    /// Worker threads of the export (0: one per core).
    void setExportThreads(int threads) { m_exportThreads = threads; }
    /// Slows parts of the export on purpose (tests).
    void setExportHooks(ExportHooks hooks) { m_exportHooks = std::move(hooks); }

    /// How long an export runs before its progress dialog appears, in ms.
    void setProgressDelay(int ms) { m_progressDelayMs = ms; }

    /// The settings as typed into the fields.
    ThumbnailSettings settings() const;

    /// Replaces how previews are rendered (tests slow it down).
    void setPreviewRender(PreviewRenderer::RenderFunction render) { m_preview->setRenderFunction(std::move(render)); }
    /// True from a click on the list until its preview has landed.
    bool previewPending() const { return m_preview->pending(); }
    /// The preview renderer (tests wait for its signals).
    PreviewRenderer* preview() const { return m_preview; }
    /// True while an export runs; the window takes no input then.
    bool exporting() const { return m_exporting; }

public Q_SLOTS:
    void Form_Resize();
    void File1_Click();    ///< a click on the list: preview the clicked picture
    void Command1_Click(); ///< "Bilder Verzeichnis wählen": choose the picture folder
    void Command2_Click(); ///< "Als JPG speichern": choose a target folder and export the selection
    void Command3_Click(); ///< "Ende": quit

protected:
    void resizeEvent(QResizeEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void Form_Load();
    void createControls();
    void setTabOrder();
    void setLookAndNames();
    void showPreview(const QImage& picture, const QImage& display);
    QString chooseFolder(const QString& title, const QString& start);
    void exportSelection(const QString& target);
    void folderShown();
    void folderRefused();
    QList<int> exportRequest(const QString& target, ExportRequest& request) const;
    void reportExport(const ExportResult& result, const QList<int>& entries);
    /// Runs a handler; a runtime error is shown and the program keeps running.
    void guarded(const std::function<void()>& handler);
    void showMessage(const WindowMessage& message);

    CanvasView* m_picture1 = nullptr;
    QGroupBox* m_frame1 = nullptr;
    std::array<QLineEdit*, 2> m_text1{};
    QLineEdit* m_text2 = nullptr;
    QLineEdit* m_text3 = nullptr;
    QPushButton* m_command1 = nullptr;
    FileListBox* m_file1 = nullptr;
    QPushButton* m_command2 = nullptr;
    QPushButton* m_command3 = nullptr;
    std::array<QLabel*, 3> m_label1{};
    std::array<QLabel*, 2> m_label2{};
    FolderChooser m_chooser;
    MessageSink m_messages;
    PreviewRenderer* m_preview = nullptr;
    bool m_exporting = false;
    bool m_folderChosen = false; // Bildordner follows the list once a folder was chosen
    QString m_programFolder;
    int m_exportThreads = 0;
    ExportHooks m_exportHooks;
    int m_progressDelayMs = 500;
};

/// The window's 32 x 32 icon, drawn in code.
QIcon MakeAppIcon();

} // namespace ostrovel
