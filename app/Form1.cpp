#include "Form1.h"

#include "BrowseFolderErweitert.h"
#include "Export.h"
#include "ExportJob.h"
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
    Picture1 = new CanvasView(QSize(799, 611), this);
    Picture1->setObjectName(QStringLiteral("Picture1"));
    Frame1 = new QGroupBox(this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(804, 0, 223, 610);
    Frame1->setFocusPolicy(Qt::NoFocus);

    QWidget* f = Frame1;
    m_label1[0] = makeLabel(f, QStringLiteral("Ausgabegröße wählen"), {6, 15, 202, 16}, true);
    m_text1[0] = makeEdit(f, QStringLiteral("Text1_0"), QStringLiteral("158"), {6, 33, 76, 22});
    m_label2[0] = makeLabel(f, QStringLiteral("x"), {87, 39, 13, 13}, false);
    m_text1[1] = makeEdit(f, QStringLiteral("Text1_1"), QStringLiteral("158"), {96, 33, 76, 22});
    m_label2[1] = makeLabel(f, QStringLiteral("Pixel"), {177, 39, 28, 13}, false);
    m_label1[1] = makeLabel(f, QStringLiteral("Hintergrundfarbe wählen (R,G,B)"), {6, 60, 202, 16}, true);
    Text2 = makeEdit(f, QStringLiteral("Text2"), QStringLiteral("255,255,255"), {6, 78, 76, 22});
    m_label1[2] = makeLabel(f, QStringLiteral("Dateipräfix beim speichern"), {6, 105, 202, 16}, true);
    Text3 = makeEdit(f, QStringLiteral("Text3"), QStringLiteral("thumb_"), {6, 123, 166, 22});
    Command1 = makeButton(f, QStringLiteral("Command1"), QStringLiteral("&Bilder Verzeichnis wählen"), {6, 150, 208, 25});
    File1 = new FileListBox(f);
    File1->setObjectName(QStringLiteral("File1"));
    File1->setGeometry(6, 180, 208, 344);
    Command2 = makeButton(f, QStringLiteral("Command2"), QStringLiteral("Als JPG &speichern"), {6, 534, 208, 31});
    Command3 = makeButton(f, QStringLiteral("Command3"), QStringLiteral("&Ende"), {6, 570, 208, 31});
    for (int i = 0; i < 3; ++i)
        m_label1[std::size_t(i)]->setObjectName(QStringLiteral("Label1_%1").arg(i));
    for (int i = 0; i < 2; ++i)
        m_label2[std::size_t(i)]->setObjectName(QStringLiteral("Label2_%1").arg(i));

    connect(File1, &FileListBox::Click, this, &Form1::File1_Click);
    connect(Command1, &QPushButton::clicked, this, &Form1::Command1_Click);
    connect(Command2, &QPushButton::clicked, this, &Form1::Command2_Click);
    connect(Command3, &QPushButton::clicked, this, &Form1::Command3_Click);
}

// Focus order by the controls' tab indices: Text2 2, Text1(1) 3, Text1(0) 4,
// Command3 5, Command2 6, Command1 7, File1 8, Text3 13.
void Form1::setTabOrder()
{
    const QList<QWidget*> order{Text2, m_text1[1], m_text1[0], Command3, Command2, Command1, File1, Text3};
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
    const float left = float(width()) - float(Frame1->width());
    Frame1->move(int(left), Frame1->y());
}

void Form1::keyPressEvent(QKeyEvent* event)
{
    // Enter chooses the picture folder, Escape ends, wherever the focus is
    // unless a focused button takes the key itself.
    if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
        if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
            Command1->click();
            return;
        }
        if (event->key() == Qt::Key_Escape) {
            Command3->click();
            return;
        }
    }
    QWidget::keyPressEvent(event);
}

ThumbnailSettings Form1::settings() const
{
    return ThumbnailSettings{Text2->text(), m_text1[0]->text(), m_text1[1]->text()};
}

bool Form1::Bildanpassen(const QString& filename)
{
    const QString file
        = filename.isEmpty() ? ProperPfad(File1->Path()) + File1->List(File1->ListIndex()) : filename;
    Canvas& canvas = Picture1->canvas();
    const qreal ratio = Picture1->devicePixelRatioF();
    ApplyCanvasSettings(canvas, settings());
    const auto picture = LoadPicture(file, canvas.size() * ratio); // detailed enough for the screen too
    const bool loaded = FitLoaded(canvas, picture.get()).loaded;
    if (loaded && ratio != 1.0)
        Picture1->setDisplayImage(sharpDisplay(canvas, *picture, ratio));
    return loaded;
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
        File1->SetPath(chooseFolder(QStringLiteral("Bildordner wählen"), Bildordner));
        Bildordner = File1->Path();
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
    const int last = File1->ListCount() - 1; // read once
    QList<int> entries;
    QList<ExportTask> tasks;
    for (int i = 0; i <= last; ++i) {
        if (!File1->Selected(i))
            continue;
        entries << i;
        tasks << ExportTask{ProperPfad(File1->Path()) + File1->List(i), ThumbnailPath(target, File1->List(i))};
    }
    Canvas& canvas = Picture1->canvas();
    if (!tasks.isEmpty())
        ApplyCanvasSettings(canvas, settings()); // what every rendering does to the canvas
    ExportJob job(tasks, settings(), canvas.size(), canvas.BackColor());
    ExportProgress progress(this, int(tasks.size()), m_progressDelayMs);
    const ExportResult result = job.run(progress.callbacks([&](int task) { File1->SetSelected(entries[task], false); }),
                                        m_exportThreads);
    if (result.error) {
        canvas.setPicture(result.failedCanvas);
        throw *result.error;
    }
    canvas.ClearPicture();
    if (!result.unreadable.isEmpty()) {
        QStringList names;
        for (int task : result.unreadable)
            names << File1->List(entries[task]);
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
