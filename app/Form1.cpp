#include "Form1.h"

#include "BrowseFolderErweitert.h"
#include "Export.h"
#include "ExportProgress.h"
#include "Render.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMessageBox>

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

QString UnreadableMessage(const QStringList& names)
{
    return QStringLiteral("Diese Bilder konnten nicht gelesen werden und wurden nicht gespeichert:\n")
           + names.join(u'\n');
}

QString RuntimeErrorText(const RuntimeError& error)
{
    return QStringLiteral("Laufzeitfehler '%1':\n\n%2").arg(error.number()).arg(error.description());
}

Form1::Form1(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("Form1"));
    m_programFolder = QCoreApplication::applicationDirPath();
    m_chooser = &BrowseFolder;
    createControls();
    setTabOrder();
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
    Canvas& canvas = m_picture1->canvas();
    const qreal ratio = m_picture1->devicePixelRatioF();
    const RenderOutcome outcome = RenderThumbnail(canvas, settings(), file, ratio); // detailed enough for the screen too
    if (outcome.loaded && ratio != 1.0)
        m_picture1->setDisplayImage(sharpDisplay(canvas, *outcome.picture, ratio));
    return outcome.loaded;
}

// On a high-density screen the canvas's pixels would be enlarged on the way
// to the screen; the same fitting at the screen's resolution stays sharp.
QImage Form1::sharpDisplay(const Canvas& canvas, const Picture& picture, qreal ratio)
{
    Canvas display((QSizeF(canvas.size()) * ratio).toSize(), canvas.BackColor());
    StretchPicture(display, &picture, true, true, canvas.BackColor());
    QImage image = display.Image();
    image.setDevicePixelRatio(ratio);
    return image;
}

void Form1::File1_Click()
{
    Bildanpassen(QString());
}

QString Form1::chooseFolder(const QString& title, const QString& start)
{
    return m_chooser(title, start, this, true, QString(), true, false);
}

void Form1::Command1_Click()
{
    guarded([this] {
        if (Bildordner.isEmpty())
            Bildordner = m_programFolder;
        m_file1->SetPath(chooseFolder(QStringLiteral("Bildordner wählen"), Bildordner));
        Bildordner = m_file1->Path();
    });
}

void Form1::Command2_Click()
{
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
// showing the failing entry's rendering.
void Form1::exportSelection(const QString& target)
{
    const int last = m_file1->ListCount() - 1; // read once
    QList<int> entries;
    ExportRequest request;
    for (int i = 0; i <= last; ++i) {
        if (!m_file1->Selected(i))
            continue;
        entries << i;
        request.sources << ExportSource{ProperPfad(m_file1->Path()) + m_file1->List(i), m_file1->List(i)};
    }
    request.targetFolder = target;
    request.settings = settings();
    request.threads = m_exportThreads;
    ExportProgress progress(this, int(entries.size()), m_progressDelayMs);
    request.callbacks = progress.callbacks([&](int task) { m_file1->SetSelected(entries[task], false); });
    const ExportResult result = RunExport(request, m_picture1->canvas());
    if (result.error)
        throw *result.error;
    if (!result.unreadable.isEmpty()) {
        QStringList names;
        for (int task : result.unreadable)
            names << m_file1->List(entries[task]);
        showMessage(UnreadableMessage(names));
    }
}

void Form1::Command3_Click()
{
    close();
    QCoreApplication::quit();
}

void Form1::guarded(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const RuntimeError& error) {
        showMessage(RuntimeErrorText(error));
    }
}

void Form1::showMessage(const QString& text)
{
    if (m_messages)
        m_messages(text);
    else
        QMessageBox::warning(this, QStringLiteral("Ostrovel"), text);
}

} // namespace ostrovel
