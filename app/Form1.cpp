#include "app/Form1.h"

#include "chooser/BrowseFolderErweitert.h"
#include "export/Export.h"
#include "app/ExportProgress.h"
#include "app/PictureReason.h"
#include "export/Render.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QKeyEvent>
#include <QMessageBox>

#include <limits>

namespace ostrovel {
namespace {

constexpr QRgb kLabelBrown = qRgb(128, 64, 0);

QLabel* makeLabel(QWidget* parent, const QString& text, QRect geometry, bool brown)
{
    auto* label = new QLabel(text, parent);
    label->setGeometry(geometry);
    if (brown) {
        QPalette pal = label->palette();
        pal.setColor(QPalette::WindowText, QColor(kLabelBrown));
        label->setPalette(pal);
    }
    return label;
}

QLineEdit* makeEdit(QWidget* parent, const QString& name, const QString& text, QRect geometry)
{
    auto* edit = new QLineEdit(text, parent);
    edit->setObjectName(name);
    edit->setMaxLength(std::numeric_limits<int>::max()); // no length limit, not Qt's 32767
    edit->setGeometry(geometry);
    edit->setCursorPosition(0); // show the start of a text wider than its field
    return edit;
}

QPushButton* makeButton(QWidget* parent, const QString& name, const QString& text, QRect geometry)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoDefault(true); // Enter on a focused button clicks that button
    return button;
}

} // namespace

// The layout's pixel sizes were made for an 8 point font: a larger desktop
// font would cut off captions and default texts.
QFont windowFont()
{
    QFont font = QApplication::font();
    const bool larger = font.pointSizeF() > 0 ? font.pointSizeF() > 8.0 : font.pixelSize() > 11;
    if (larger)
        font.setPointSizeF(8.0);
    return font;
}

// The fixed brown captions and the fixed canvas colours assume a light
// window, whatever the desktop's theme.
QPalette lightPalette()
{
    QPalette pal(QColor(240, 240, 240), QColor(240, 240, 240));
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::AlternateBase, QColor(233, 231, 227));
    pal.setColor(QPalette::Text, Qt::black);
    pal.setColor(QPalette::WindowText, Qt::black);
    pal.setColor(QPalette::ButtonText, Qt::black);
    pal.setColor(QPalette::Highlight, QColor(48, 140, 198));
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::ToolTipBase, QColor(255, 255, 220));
    pal.setColor(QPalette::ToolTipText, Qt::black);
    pal.setColor(QPalette::PlaceholderText, QColor(110, 110, 110));
    pal.setColor(QPalette::Disabled, QPalette::Text, QColor(120, 120, 120));
    pal.setColor(QPalette::Disabled, QPalette::WindowText, QColor(120, 120, 120));
    pal.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(120, 120, 120));
    return pal;
}

Form1::Form1(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    // Where the program was started: the home folder from the desktop menu,
    // the shell's folder from a shell; never the executable's folder.
    m_programFolder = QDir::currentPath();
    m_chooser = &BrowseFolder;
    setPalette(lightPalette());
    setFont(windowFont());
    m_preview = new PreviewRenderer(this);
    connect(m_preview, &PreviewRenderer::ready, this, &Form1::showPreview);
    createControls();
    setTabOrder();
    setLookAndNames();
    setWindowIcon(MakeAppIcon());
    resize(1028, 614);
    Form_Load();
}

void Form1::createControls()
{
    m_picture1 = new CanvasView(kInitialCanvasSize, this);
    m_picture1->setObjectName(QStringLiteral("Picture1"));
    m_frame1 = new QGroupBox(this);
    m_frame1->setObjectName(QStringLiteral("Frame1"));
    m_frame1->setGeometry(804, 0, 223, 610);
    m_frame1->setFocusPolicy(Qt::NoFocus);
    m_frame1->setAutoFillBackground(true); // opaque over a wide canvas

    QWidget* f = m_frame1;
    m_label1[0] = makeLabel(f, QStringLiteral("Ausgabegröße wählen"), {6, 15, 202, 16}, true);
    m_text1[0] = makeEdit(f, QStringLiteral("Text1_0"), QStringLiteral("158"), {6, 33, 76, 22});
    m_label2[0] = makeLabel(f, QStringLiteral("x"), {87, 39, 13, 13}, false);
    m_text1[1] = makeEdit(f, QStringLiteral("Text1_1"), QStringLiteral("158"), {96, 33, 76, 22});
    m_label2[1] = makeLabel(f, QStringLiteral("Pixel"), {177, 39, 28, 13}, false);
    m_label1[1] = makeLabel(f, QStringLiteral("Hintergrundfarbe wählen (R,G,B)"), {6, 60, 202, 16}, true);
    m_text2 = makeEdit(f, QStringLiteral("Text2"), QStringLiteral("255,255,255"), {6, 78, 76, 22});
    m_label1[2] = makeLabel(f, QStringLiteral("Dateipräfix beim speichern"), {6, 105, 202, 16}, true);
    m_text3 = makeEdit(f, QStringLiteral("Text3"), QStringLiteral("thumb_"), {6, 123, 166, 22});
    m_command1 = makeButton(f, QStringLiteral("Command1"), QStringLiteral("&Bilder Verzeichnis wählen"), {6, 150, 208, 25});
    m_file1 = new FileListBox(f);
    m_file1->setObjectName(QStringLiteral("File1"));
    m_file1->setGeometry(6, 180, 208, 344);
    m_command2 = makeButton(f, QStringLiteral("Command2"), QStringLiteral("Als JPG &speichern"), {6, 534, 208, 31});
    m_command3 = makeButton(f, QStringLiteral("Command3"), QStringLiteral("&Ende"), {6, 570, 208, 31});
    for (int i = 0; i < 3; ++i)
        m_label1[std::size_t(i)]->setObjectName(QStringLiteral("Label1_%1").arg(i));
    for (int i = 0; i < 2; ++i)
        m_label2[std::size_t(i)]->setObjectName(QStringLiteral("Label2_%1").arg(i));

    connect(m_file1, &FileListBox::Click, this, &Form1::File1_Click);
    connect(m_file1, &FileListBox::pathShown, this, &Form1::folderShown);
    connect(m_file1, &FileListBox::pathRefused, this, &Form1::folderRefused);
    connect(m_command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &Form1::Command3_Click);
}

// Focus order by the controls' tab indices: Text2 2, Text1(1) 3, Text1(0) 4,
// Command3 5, Command2 6, Command1 7, File1 8, Text3 13.
void Form1::setTabOrder()
{
    const QList<QWidget*> order{m_text2, m_text1[1], m_text1[0], m_command3, m_command2, m_command1, m_file1, m_text3};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
}

// Screen readers name each field by its heading, the size fields by their role.
void Form1::setLookAndNames()
{
    m_text1[0]->setAccessibleName(QStringLiteral("Breite"));
    m_text1[1]->setAccessibleName(QStringLiteral("Höhe"));
    for (QLineEdit* size : m_text1)
        size->setAccessibleDescription(m_label1[0]->text() + QStringLiteral(" (Pixel)"));
    m_text2->setAccessibleName(m_label1[1]->text());
    m_text3->setAccessibleName(m_label1[2]->text());
    m_label1[1]->setBuddy(m_text2);
    m_label1[2]->setBuddy(m_text3);
    m_file1->setAccessibleName(QStringLiteral("Bilder"));
    m_file1->setAccessibleDescription(QStringLiteral("Bilddateien des gewählten Ordners"));
    m_picture1->setAccessibleName(QStringLiteral("Vorschau"));
    for (QPushButton* button : {m_command1, m_command2, m_command3})
        button->setAccessibleName(QString(button->text()).remove(u'&'));
}

void Form1::Form_Load()
{
    setWindowTitle(QStringLiteral("Ostrovel V%1.%2.%3")
                       .arg(OSTROVEL_VERSION_MAJOR)
                       .arg(OSTROVEL_VERSION_MINOR)
                       .arg(OSTROVEL_VERSION_PATCH));
}

void Form1::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    Form_Resize();
}

void Form1::Form_Resize()
{
    const float left = float(width()) - float(m_frame1->width());
    m_frame1->move(int(left), m_frame1->y());
}

void Form1::closeEvent(QCloseEvent* event)
{
    if (m_exporting) {
        event->ignore(); // the export ends first, or is cancelled in its dialog
        return;
    }
    m_preview->stop(); // the program must not wait for a slow metafile to end
    QWidget::closeEvent(event);
}

void Form1::keyPressEvent(QKeyEvent* event)
{
    // Enter chooses the picture folder, Escape ends, wherever the focus is
    // unless a focused button takes the key itself.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            m_command1->click();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            m_command3->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

ThumbnailSettings Form1::settings() const
{
    return ThumbnailSettings{m_text2->text(), m_text1[0]->text(), m_text1[1]->text()};
}

bool Form1::Bildanpassen(const QString& filename)
{
    const QString file
        = filename.isEmpty() ? ProperPfad(m_file1->Path()) + m_file1->List(m_file1->ListIndex()) : filename;
    m_preview->drop();
    Canvas& canvas = m_picture1->canvas();
    const qreal ratio = m_picture1->devicePixelRatioF();
    const RenderOutcome outcome = RenderThumbnail(canvas, settings(), file, ratio); // detailed enough for the screen too
    if (outcome.loaded && ratio != 1.0)
        m_picture1->setDisplayImage(SharpDisplay(canvas, *outcome.picture, ratio));
    return outcome.loaded;
}

// The colour and size take effect at once; the picture is rendered on a
// worker thread and shown when it is ready, unless a newer click came first.
void Form1::File1_Click()
{
    if (m_exporting)
        return;
    const QString file = ProperPfad(m_file1->Path()) + m_file1->List(m_file1->ListIndex());
    Canvas& canvas = m_picture1->canvas();
    const ThumbnailSettings typed = settings();
    ApplyCanvasSettings(canvas, typed);
    m_preview->request(canvas.size(), canvas.BackColor(), typed, file, m_picture1->devicePixelRatioF());
}

void Form1::showPreview(const QImage& picture, const QImage& display)
{
    m_picture1->canvas().setPicture(picture);
    if (!display.isNull())
        m_picture1->setDisplayImage(display);
}

QString Form1::chooseFolder(const QString& title, const QString& start)
{
    return m_chooser(title, start, this, true, QString(), true, false);
}

void Form1::Command1_Click()
{
    if (m_exporting)
        return;
    guarded([this] {
        if (Bildordner.isEmpty())
            Bildordner = m_programFolder;
        m_folderChosen = true;
        m_file1->SetPath(chooseFolder(QStringLiteral("Bildordner wählen"), Bildordner));
        if (!m_file1->listingPending())
            Bildordner = m_file1->Path();
    });
}

// The chosen folder is listed off the window's thread; Bildordner becomes
// the folder the list shows once it shows it.
void Form1::folderShown()
{
    if (m_folderChosen)
        Bildordner = m_file1->Path();
}

// A folder the list cannot show: the list and Bildordner stay as they were.
void Form1::folderRefused()
{
    showMessage(WindowMessage{RuntimeErrorText(RuntimeError(76, QStringLiteral("Pfad nicht gefunden"))), QString(), QString()});
}

void Form1::Command2_Click()
{
    if (m_exporting)
        return;
    guarded([this] {
        if (Zielordner.isEmpty())
            Zielordner = m_programFolder;
        Zielordner = chooseFolder(QStringLiteral("Zielordner wählen"), Zielordner);
        if (Zielordner.isEmpty())
            return;
        exportSelection(Zielordner);
    });
}

// Writes every selected entry in list order: rendered and encoded on worker
// threads, written and deselected here. An entry whose picture cannot be read
// is skipped and named afterwards; a write error ends the export where it
// happened, with earlier entries written and deselected and the canvas
// showing the failing entry's rendering. The window takes no input until the
// export has ended, a cancelled one included.
void Form1::exportSelection(const QString& target)
{
    ExportRequest request;
    const QList<int> entries = exportRequest(target, request);
    ExportResult result;
    m_preview->drop(); // a preview landing now would paint over the export's canvas
    m_exporting = true;
    m_file1->holdListing(true); // the entries are the export's work list
    {
        ExportProgress progress(this, int(entries.size()), m_progressDelayMs);
        request.callbacks = progress.callbacks([&](int task) { m_file1->SetSelected(entries[task], false); });
        result = RunExport(request, m_picture1->canvas());
        progress.close(); // never behind a message
    }
    m_exporting = false;
    // The dialog had the focus; without it the window could be left with none.
    if (!QApplication::activeWindow())
        activateWindow();
    m_file1->setFocus();
    reportExport(result, entries);
    m_file1->holdListing(false);
}

QList<int> Form1::exportRequest(const QString& target, ExportRequest& request) const
{
    const int last = m_file1->ListCount() - 1; // read once
    QList<int> entries;
    for (int i = 0; i <= last; ++i) {
        if (!m_file1->Selected(i))
            continue;
        entries << i;
        request.sources << ExportSource{ProperPfad(m_file1->Path()) + m_file1->List(i), m_file1->List(i)};
    }
    request.targetFolder = target;
    request.settings = settings();
    request.threads = m_exportThreads;
    request.hooks = m_exportHooks;
    return entries;
}

// The write error first, then the pictures skipped before it: the user
// learns of both.
void Form1::reportExport(const ExportResult& result, const QList<int>& entries)
{
    if (const std::optional<WriteFailure>& failure = result.writeFailure)
        showMessage(WriteErrorMessage(failure->error, failure->path, failure->errnum));
    if (!result.unreadable.isEmpty()) {
        QList<UnreadablePicture> pictures;
        for (const UnreadableTask& u : result.unreadable)
            pictures << UnreadablePicture{m_file1->List(entries[u.task]), GermanPictureReason(u.reason)};
        showMessage(UnreadableMessage(pictures, result.cancelled ? std::optional<int>(result.written) : std::nullopt));
    }
}

void Form1::Command3_Click()
{
    if (m_exporting)
        return;
    close();
    QCoreApplication::quit();
}

void Form1::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const RuntimeError& error) {
        showMessage(WindowMessage{RuntimeErrorText(error), QString(), QString()});
    }
}

void Form1::showMessage(const WindowMessage& message)
{
    if (m_messages) {
        m_messages(message);
        return;
    }
    QMessageBox* box = MakeMessageBox(this, message);
    box->exec();
    delete box;
}

} // namespace ostrovel
