#include "chooser/FolderDialog.h"

#include "chooser/GermanReason.h"
#include "chooser/PlainIconProvider.h"
#include "chooser/RenameDelegate.h"
#include "chooser/RootFilterModel.h"
#include "chooser/StatusLine.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QMetaMethod>
#include <QPushButton>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>
#include <QVBoxLayout>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <vector>
#include <sys/stat.h>

namespace ostrovel {

namespace {

constexpr QSize kNewStyleSize(440, 480);
constexpr QSize kClassicSize(360, 420);

/// A root that names no existing folder restricts nothing.
QString cleanRoot(const QString& rootPath)
{
    if (rootPath.isEmpty())
        return QStringLiteral("/");
    const QFileInfo info(rootPath);
    return info.isDir() ? QDir::cleanPath(info.absoluteFilePath()) : QStringLiteral("/");
}

/// Keeps `model` to the end of the process. Its destructor waits for its
/// information thread, which may be stuck in a stat() on a hung mount for
/// good; the window must never wait for that, so the model is given up
/// instead (kept reachable here: a deliberate leak, not a lost one).
void keepForever(QFileSystemModel* model)
{
    static auto* kept = new std::vector<QFileSystemModel*>;
    kept->push_back(model);
}

/// Made here rather than by the model, which keeps the system's reason to itself.
int makeFolder(const QString& path)
{
    return ::mkdir(QFile::encodeName(path).constData(), 0777) == 0 ? 0 : errno;
}

/// Never replaces an entry named `to`; where the file system cannot promise
/// that, after the check that no such entry is there.
int renameEntry(const QString& from, const QString& to)
{
    const QByteArray source = QFile::encodeName(from);
    const QByteArray target = QFile::encodeName(to);
    if (::renameat2(AT_FDCWD, source.constData(), AT_FDCWD, target.constData(), RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return errno;
    return ::rename(source.constData(), target.constData()) == 0 ? 0 : errno;
}

/// Asks now, off the window's thread, all the model will ask of `info`.
void askAhead(QFileInfo& info)
{
    info.refresh();
    (void)info.exists();
    (void)info.isSymLink();
    (void)info.isDir();
    (void)info.size();
    (void)info.permissions();
    (void)info.lastModified();
    (void)info.isHidden();
}

/// Shows in `model` that `oldName` in `parentPath` is now `info`'s entry,
/// with what was asked off the window's thread: the model's own renaming
/// would ask the file system here. Through the model's slots for news from
/// its information thread, which take the answers as given.
bool showRenamed(QFileSystemModel* model, const QString& parentPath, const QString& oldName, const QFileInfo& info)
{
    const QModelIndex parent = model->index(parentPath);
    QStringList kept;
    for (int row = 0; row < model->rowCount(parent); ++row) {
        const QString name = model->fileName(model->index(row, 0, parent));
        if (name != oldName)
            kept << name;
    }
    kept << info.fileName();
    const QList<QPair<QString, QFileInfo>> news{{info.fileName(), info}};
    const QMetaObject* meta = model->metaObject();
    const QMetaMethod changed =
        meta->method(meta->indexOfMethod("_q_fileSystemChanged(QString,QList<std::pair<QString,QFileInfo>>)"));
    const QMetaMethod listed = meta->method(meta->indexOfMethod("_q_directoryChanged(QString,QStringList)"));
    return changed.isValid() && listed.isValid()
        && changed.invoke(model, Qt::DirectConnection, Q_ARG(QString, parentPath),
                          QGenericArgument("QList<std::pair<QString,QFileInfo>>", &news))
        && listed.invoke(model, Qt::DirectConnection, Q_ARG(QString, parentPath), Q_ARG(QStringList, kept));
}

/// "Neuer Ordner", or "Neuer Ordner (2)", "(3)", ... when taken.
QString freeFolderName(const QString& parentPath)
{
    const QDir parent(parentPath);
    const QString base = QStringLiteral("Neuer Ordner");
    QString name = base;
    for (int n = 2; parent.exists(name); ++n)
        name = QStringLiteral("%1 (%2)").arg(base).arg(n);
    return name;
}

} // namespace

FolderDialog::FolderDialog(const FolderDialogOptions& options, QWidget* parent)
    : QDialog(parent), m_rootPath(cleanRoot(options.rootPath)), m_includeFiles(options.includeFiles),
      m_makeFolder(&makeFolder), m_rename(&renameEntry)
{
    setWindowTitle(options.title);
    buildModel(options);
    buildWidgets(options);
    connectSignals();
    if (options.newStyle) {
        setSizeGripEnabled(true);
        resize(kNewStyleSize);
    } else {
        setFixedSize(kClassicSize);
    }
    m_tree->setFocus();
    updateSelectionState();
}

FolderDialog::~FolderDialog()
{
    m_tree->setModel(nullptr);
    delete m_proxy;
    keepForever(m_model);
}

void FolderDialog::buildModel(const FolderDialogOptions& options)
{
    m_model = new QFileSystemModel; // no parent: see keepForever()
    // Drawing the tree must never open a file: the default icon provider
    // reads unknown files to find their type. Watching is off too: a folder
    // removed from outside must not move the selection to its neighbour.
    m_model->setIconProvider(PlainIconProvider::instance());
    m_model->setOption(QFileSystemModel::DontUseCustomDirectoryIcons);
    m_model->setOption(QFileSystemModel::DontWatchForChanges);
    QDir::Filters filters = QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives;
    if (options.includeFiles)
        filters |= QDir::Files;
    m_model->setFilter(filters);
    // Renaming the freshly made folder in place needs a writable model.
    m_model->setReadOnly(!options.newStyle);
    m_model->setRootPath(m_rootPath);
    m_model->sort(0, Qt::AscendingOrder);
    m_proxy = new RootFilterModel(m_rootPath, this);
    m_proxy->setSourceModel(m_model);
}

void FolderDialog::buildWidgets(const FolderDialogOptions& options)
{
    auto* layout = new QVBoxLayout(this);
    m_instruction = new QLabel(options.title, this);
    m_instruction->setTextFormat(Qt::PlainText);
    m_instruction->setWordWrap(true);
    layout->addWidget(m_instruction);

    m_tree = new QTreeView(this);
    m_tree->setModel(m_proxy);
    m_tree->setHeaderHidden(true);
    m_tree->setAccessibleName(QStringLiteral("Ordner")); // for screen readers; the title is the task
    m_tree->setAccessibleDescription(options.title);
    m_tree->setSelectionMode(QAbstractItemView::SingleSelection);
    // Double-click opens a folder; renaming stays on F2.
    m_tree->setEditTriggers(QAbstractItemView::EditKeyPressed);
    m_tree->setItemDelegate(
        new RenameDelegate([this](const QString& path, const QString& name) { rename(path, name); }, m_tree));
    const QModelIndex top = m_model->index(m_rootPath);
    m_tree->setRootIndex(m_proxy->mapFromSource(top.parent()));
    m_tree->expand(m_proxy->mapFromSource(top));
    layout->addWidget(m_tree, 1);

    if (options.showStatus) {
        m_status = new QLabel(this);
        m_status->setTextFormat(Qt::PlainText);
        // The text may run past the label (the 80 px margin); it must never
        // widen the dialog, whose new width would change the text again.
        m_status->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        m_status->setMinimumHeight(m_status->fontMetrics().height());
        m_status->installEventFilter(this);
        layout->addWidget(m_status);
    }
    layout->addLayout(buildButtonRow(options.newStyle));
}

QLayout* FolderDialog::buildButtonRow(bool newStyle)
{
    auto* row = new QHBoxLayout;
    if (newStyle) {
        m_newFolder = new QPushButton(QStringLiteral("Neuen Ordner erstellen"), this);
        m_newFolder->setAutoDefault(false);
        row->addWidget(m_newFolder);
    }
    row->addStretch(1);
    m_ok = new QPushButton(QStringLiteral("OK"), this);
    m_ok->setDefault(true);
    m_cancel = new QPushButton(QStringLiteral("Abbrechen"), this);
    m_cancel->setAutoDefault(false);
    row->addWidget(m_ok);
    row->addWidget(m_cancel);
    return row;
}

void FolderDialog::connectSignals()
{
    connect(m_tree->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
        m_followSelection = false;
        updateSelectionState();
    });
    m_scrollTimer = new QTimer(this);
    m_scrollTimer->setSingleShot(true);
    connect(m_scrollTimer, &QTimer::timeout, this, &FolderDialog::scrollToSelection);
    connect(m_proxy, &QAbstractItemModel::rowsInserted, this, &FolderDialog::keepSelectionInView);
    connect(m_proxy, &QAbstractItemModel::layoutChanged, this, &FolderDialog::keepSelectionInView);
    connect(m_tree->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { m_followSelection = false; });
    m_tree->installEventFilter(this);
    m_tree->viewport()->installEventFilter(this);
    connect(m_ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    if (m_newFolder)
        connect(m_newFolder, &QPushButton::clicked, this, &FolderDialog::createFolder);
}

void FolderDialog::setCurrentPath(const QString& path)
{
    const int request = ++m_locateRequest;
    m_tree->selectionModel()->clear();
    m_locating = !path.isEmpty();
    if (!m_locating)
        return;
    m_work.run<Located>(
        [path] {
            const QFileInfo info(path);
            return Located{QDir::cleanPath(info.absoluteFilePath()), info.isDir()};
        },
        [this, request](const Located& place) {
            if (request == m_locateRequest)
                located(place);
        });
}

void FolderDialog::located(const Located& place)
{
    m_locating = false;
    QModelIndex source;
    // index() would add even a filtered-out file to the tree.
    if ((m_includeFiles || place.isDir) && isAtOrBelow(place.path, m_rootPath))
        source = m_model->index(place.path);
    const QModelIndex view = m_proxy->mapFromSource(source);
    if (!view.isValid()) {
        m_tree->selectionModel()->clear();
        return;
    }
    m_tree->setCurrentIndex(view);
    m_tree->scrollTo(view, QAbstractItemView::PositionAtCenter);
    m_followSelection = true;
}

void FolderDialog::keepSelectionInView()
{
    // Queued: a batch of new rows is followed by a sort.
    if (m_followSelection)
        m_scrollTimer->start(0);
}

void FolderDialog::scrollToSelection()
{
    const QModelIndex current = m_tree->currentIndex();
    if (current.isValid())
        m_tree->scrollTo(current, QAbstractItemView::PositionAtCenter);
}

QModelIndex FolderDialog::selectedSourceIndex() const
{
    const QModelIndexList rows = m_tree->selectionModel()->selectedRows();
    return rows.isEmpty() ? QModelIndex() : m_proxy->mapToSource(rows.first());
}

QString FolderDialog::selectedPath() const
{
    const QModelIndex source = selectedSourceIndex();
    return source.isValid() ? m_model->filePath(source) : QString();
}

void FolderDialog::updateSelectionState()
{
    m_ok->setEnabled(!m_confirming && !selectedPath().isEmpty());
    updateStatusLine();
}

void FolderDialog::updateStatusLine()
{
    if (m_status)
        m_status->setText(StatusLineText(selectedPath(), m_status->width(), m_status->fontMetrics()));
}

void FolderDialog::createFolder()
{
    if (m_creatingFolder)
        return;
    QModelIndex parent = selectedSourceIndex();
    if (!parent.isValid())
        parent = m_model->index(m_rootPath);
    else if (!m_model->isDir(parent))
        parent = parent.parent();
    const QString parentPath = m_model->filePath(parent);
    m_creatingFolder = true;
    if (m_newFolder)
        m_newFolder->setEnabled(false);
    m_work.run<MadeFolder>(
        [parentPath, make = m_makeFolder] {
            const QString path = QDir(parentPath).filePath(freeFolderName(parentPath));
            return MadeFolder{path, make(path)};
        },
        [this](const MadeFolder& made) { folderMade(made); });
}

void FolderDialog::folderMade(const MadeFolder& made)
{
    m_creatingFolder = false;
    if (m_newFolder)
        m_newFolder->setEnabled(true);
    if (made.errnum != 0) {
        report(QStringLiteral("Der Ordner konnte nicht erstellt werden."), GermanReason(made.errnum));
        return;
    }
    const QModelIndex view = m_proxy->mapFromSource(m_model->index(made.path));
    if (!view.isValid()) {
        QApplication::beep();
        return;
    }
    m_tree->setCurrentIndex(view);
    m_tree->scrollTo(view);
    m_tree->setFocus();
    m_tree->edit(view);
}

void FolderDialog::rename(const QString& path, const QString& name)
{
    if (m_renaming) {
        QApplication::beep();
        return;
    }
    m_renaming = true;
    m_tree->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_work.run<Renamed>(
        [path, name, renameEntry = m_rename] {
            const QString parentPath = QFileInfo(path).path();
            Renamed result{path, QDir(parentPath).filePath(name), RenameProblem(parentPath, name), {}};
            if (!result.reason.isEmpty())
                return result;
            if (const int errnum = renameEntry(path, result.to); errnum != 0) {
                result.reason = GermanReason(errnum);
                return result;
            }
            result.info = QFileInfo(result.to);
            askAhead(result.info);
            return result;
        },
        [this](const Renamed& result) { renamed(result); });
}

void FolderDialog::renamed(const Renamed& result)
{
    m_renaming = false;
    m_tree->setEditTriggers(QAbstractItemView::EditKeyPressed);
    if (!result.reason.isEmpty()) {
        report(QStringLiteral("Der Ordner konnte nicht umbenannt werden."), result.reason);
        return;
    }
    const bool selected = selectedPath() == result.from;
    if (!showRenamed(m_model, QFileInfo(result.from).path(), QFileInfo(result.from).fileName(), result.info))
        qWarning("The folder tree could not be told of a renamed folder");
    const QModelIndex view = m_proxy->mapFromSource(m_model->index(result.to));
    if (selected && view.isValid()) {
        m_tree->setCurrentIndex(view);
        m_tree->scrollTo(view);
    }
    updateSelectionState();
}

void FolderDialog::accept()
{
    const QString path = selectedPath();
    if (path.isEmpty()) {
        QDialog::accept();
        return;
    }
    if (m_confirming)
        return;
    m_confirming = true;
    updateSelectionState();
    m_work.run<bool>([path] { return QFileInfo::exists(path); },
                     [this, path](const bool& exists) { confirmed(path, exists); });
}

void FolderDialog::confirmed(const QString& path, bool exists)
{
    if (!m_confirming)
        return; // ended otherwise meanwhile
    m_confirming = false;
    updateSelectionState();
    if (selectedPath() != path)
        return; // chosen again meanwhile
    if (!exists) {
        report(QStringLiteral("Der gewählte Ordner existiert nicht mehr."), QDir::toNativeSeparators(path));
        return;
    }
    QDialog::accept();
}

void FolderDialog::done(int result)
{
    m_confirming = false;
    QDialog::done(result);
}

void FolderDialog::report(const QString& text, const QString& reason)
{
    if (m_messages) {
        m_messages(text, reason);
        return;
    }
    QMessageBox box(QMessageBox::Warning, windowTitle(), text, QMessageBox::Ok, this);
    box.setInformativeText(reason);
    box.exec();
}

void FolderDialog::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Only now does the tree know its height, which centring needs.
    m_scrollTimer->start(0);
}

bool FolderDialog::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if ((watched == m_tree || watched == m_tree->viewport())
        && (type == QEvent::KeyPress || type == QEvent::MouseButtonPress || type == QEvent::Wheel)) {
        m_followSelection = false;
        if (type != QEvent::Wheel && m_locating) {
            ++m_locateRequest; // the user chooses now
            m_locating = false;
        }
    }
    if (watched == m_status && (type == QEvent::Resize || type == QEvent::FontChange))
        updateStatusLine();
    return QDialog::eventFilter(watched, event);
}

QString FolderDialog::rootPath() const { return m_rootPath; }
QTreeView* FolderDialog::tree() const { return m_tree; }
QFileSystemModel* FolderDialog::fileModel() const { return m_model; }
QLabel* FolderDialog::instructionLabel() const { return m_instruction; }
QLabel* FolderDialog::statusLabel() const { return m_status; }
QPushButton* FolderDialog::okButton() const { return m_ok; }
QPushButton* FolderDialog::cancelButton() const { return m_cancel; }
QPushButton* FolderDialog::newFolderButton() const { return m_newFolder; }

} // namespace ostrovel
