// The folder dialog on the offscreen platform: selection at open, listing,
// keyboard use, the status line, new folders, the root and the modal call.

#include "tests/chooser/DialogHelpers.h"
#include "chooser/StatusLine.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTemporaryDir>
#include <QTreeView>
#include <QtTest>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <dlfcn.h>
#include <functional>
#include <memory>

namespace {
// A file system that cannot promise not to replace (FUSE, older NFS) answers
// RENAME_NOREPLACE with EINVAL.
std::atomic<bool> g_noReplaceRefused{false};
} // namespace

extern "C" int renameat2(int olddirfd, const char* oldpath, int newdirfd, const char* newpath, unsigned int flags)
{
    using Renameat2 = int (*)(int, const char*, int, const char*, unsigned int);
    static const auto real = reinterpret_cast<Renameat2>(dlsym(RTLD_NEXT, "renameat2"));
    if (g_noReplaceRefused && flags != 0) {
        errno = EINVAL;
        return -1;
    }
    return real(olddirfd, oldpath, newdirfd, newpath, flags);
}

class TestFolderDialog : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void titleDollarRule_data();
    void titleDollarRule();
    void optionsShapeTheDialog_data();
    void optionsShapeTheDialog();
    void startFolderSelectedAndShown_data();
    void startFolderSelectedAndShown();
    void filesListedOnlyWithIncludeFiles_data();
    void filesListedOnlyWithIncludeFiles();
    void answerDecidesResult_data();
    void answerDecidesResult();
    void keyboardMovesSelectionAndStatus_data();
    void keyboardMovesSelectionAndStatus();
    void statusRecomputedOnResize_data();
    void statusRecomputedOnResize();
    void typeAheadSelectsByName_data();
    void typeAheadSelectsByName();
    void newFolderCreated_data();
    void newFolderCreated();
    void newFolderRenamedInPlace_data();
    void newFolderRenamedInPlace();
    void rootPathRestrictsTree_data();
    void rootPathRestrictsTree();
    void modalCallOwnedAndKeyboardDriven();

private:
    QString at(const QString& relative) const { return m_dir->path() + QLatin1Char('/') + relative; }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFolderDialog::initTestCase()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    QApplication::setFont(font);

    // One tree for the whole run: the _data() rows name its paths.
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    QDir root(m_dir->path());
    for (const char* dir : {"alpha", "beta", "gamma/Bilder ä ö", ".versteckt"})
        QVERIFY(root.mkpath(QString::fromUtf8(dir)));
    for (int i = 0; i < 80; ++i)
        QVERIFY(root.mkpath(QStringLiteral("many/m%1").arg(i, 2, 10, QLatin1Char('0'))));
    QVERIFY(root.mkpath(kDeep));
    QFile note(at(QStringLiteral("note.txt")));
    QVERIFY(note.open(QIODevice::WriteOnly));
}

void TestFolderDialog::init()
{
    // The new-folder tests write into beta; every test starts with it empty.
    QDir beta(at("beta"));
    QVERIFY(beta.removeRecursively());
    QVERIFY(beta.mkpath(QStringLiteral(".")));
}

void TestFolderDialog::titleDollarRule_data()
{
    QTest::addColumn<QString>("title");
    QTest::addColumn<bool>("showStatus");
    QTest::addColumn<QString>("shown");
    QTest::newRow("$ with status line") << "$" << true << "";
    QTest::newRow("$ without status line") << "$" << false << "$";
    QTest::newRow("contains $") << "Preis in $" << true << "Preis in $";
    QTest::newRow("$$") << "$$" << true << "$$";
    QTest::newRow("caller's title") << "Bildordner wählen" << true << "Bildordner wählen";
}

void TestFolderDialog::titleDollarRule()
{
    QFETCH(QString, title);
    QFETCH(bool, showStatus);
    QFETCH(QString, shown);
    bool answered = false;
    QString label = QStringLiteral("unset");
    whenModalOpen([&](FolderDialog* d) { label = d->instructionLabel()->text(); d->reject(); }, &answered);
    BrowseFolder(title, at("alpha"), nullptr, showStatus, QString(), true, false);
    QVERIFY(answered);
    QCOMPARE(label, shown);
}

void TestFolderDialog::optionsShapeTheDialog_data()
{
    QTest::addColumn<bool>("showStatus");
    QTest::addColumn<bool>("newStyle");
    QTest::newRow("callers' choice") << true << true;
    QTest::newRow("plain") << false << false;
    QTest::newRow("status only") << true << false;
    QTest::newRow("new style only") << false << true;
}

void TestFolderDialog::optionsShapeTheDialog()
{
    QFETCH(bool, showStatus);
    QFETCH(bool, newStyle);
    FolderDialog dialog(options(false, QString(), showStatus, newStyle));
    QCOMPARE(dialog.statusLabel() != nullptr, showStatus);
    QCOMPARE(dialog.newFolderButton() != nullptr, newStyle);
    QCOMPARE(dialog.minimumSize() != dialog.maximumSize(), newStyle); // resizable
    QCOMPARE(dialog.okButton()->text(), QStringLiteral("OK"));
    QCOMPARE(dialog.cancelButton()->text(), QStringLiteral("Abbrechen"));
    QVERIFY(dialog.okButton()->isDefault());
    QVERIFY(!dialog.okButton()->isEnabled()); // nothing selected yet
    QCOMPARE(QAccessible::queryAccessibleInterface(dialog.tree())->text(QAccessible::Name), QStringLiteral("Ordner"));
}

void TestFolderDialog::startFolderSelectedAndShown_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("selected");
    QTest::newRow("deep among many") << at(kDeep) << at(kDeep);
    QTest::newRow("near the top") << at("alpha") << at("alpha");
    QTest::newRow("trailing slash") << at("alpha/") << at("alpha");
    QTest::newRow("hidden folder") << at(".versteckt") << at(".versteckt");
    QTest::newRow("file system top") << "/" << "/";
    QTest::newRow("missing folder") << at("fehlt") << "";
    QTest::newRow("file while folders only") << at("note.txt") << "";
    QTest::newRow("empty") << "" << "";
}

void TestFolderDialog::startFolderSelectedAndShown()
{
    QFETCH(QString, start);
    QFETCH(QString, selected);
    FolderDialog dialog(options());
    QSignalSpy loaded(dialog.fileModel(), &QFileSystemModel::directoryLoaded);
    QVERIFY(showAt(dialog, start));
    QCOMPARE(dialog.selectedPath(), selected);
    QCOMPARE(dialog.okButton()->isEnabled(), !selected.isEmpty());
    QCOMPARE(dialog.focusWidget(), dialog.tree());
    if (selected.isEmpty() || selected == QLatin1String("/"))
        return;
    // The folders above are listed and sorted in the background, each
    // listing moving the selection; it must end up in view all the same.
    for (QString dir = QFileInfo(selected).path();; dir = QFileInfo(dir).path()) {
        QTRY_VERIFY2(wasLoaded(loaded, dir), qPrintable(dir));
        if (dir == QLatin1String("/"))
            break;
    }
    QTreeView* tree = dialog.tree();
    const auto inView = [tree] { return tree->viewport()->rect().contains(tree->visualRect(tree->currentIndex()).center()); };
    QTRY_VERIFY(inView());
    QTest::qWait(100); // a last sort may still be queued
    QVERIFY(inView());
}

void TestFolderDialog::filesListedOnlyWithIncludeFiles_data()
{
    QTest::addColumn<bool>("includeFiles");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("folders only") << false << QStringList{"alpha", "beta", "gamma", "many"};
    QTest::newRow("with files") << true << QStringList{"alpha", "beta", "gamma", "many", "note.txt"};
}

void TestFolderDialog::filesListedOnlyWithIncludeFiles()
{
    QFETCH(bool, includeFiles);
    QFETCH(QStringList, names);
    FolderDialog dialog(options(includeFiles));
    QSignalSpy loaded(dialog.fileModel(), &QFileSystemModel::directoryLoaded);
    QVERIFY(showAt(dialog, at("alpha")));
    QTRY_VERIFY(wasLoaded(loaded, m_dir->path()));
    QStringList shown = shownNames(dialog, m_dir->path());
    shown.sort();
    QCOMPARE(shown, names); // never the hidden folder

    dialog.setCurrentPath(at("note.txt"));
    QTRY_VERIFY(!dialog.locating());
    QCOMPARE(dialog.selectedPath(), includeFiles ? at("note.txt") : QString());
    QCOMPARE(dialog.okButton()->isEnabled(), includeFiles);
}

void TestFolderDialog::answerDecidesResult_data()
{
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("answer");
    QTest::addColumn<QString>("result");
    QTest::newRow("OK on a folder") << at("alpha") << int(OkButton) << at("alpha");
    QTest::newRow("OK, trailing slash as the tree spells it") << at("alpha/") << int(OkButton) << at("alpha");
    QTest::newRow("OK, blanks and umlauts") << at("gamma/Bilder ä ö") << int(OkButton) << at("gamma/Bilder ä ö");
    QTest::newRow("OK, deep") << at(kDeep) << int(OkButton) << at(kDeep);
    QTest::newRow("OK on the top stays /") << "/" << int(OkButton) << "/";
    QTest::newRow("Return") << at("beta") << int(ReturnKey) << at("beta");
    QTest::newRow("keypad Enter") << at("beta") << int(KeypadEnter) << at("beta");
    QTest::newRow("Return without selection") << "" << int(ReturnKey) << "";
    QTest::newRow("Escape") << at("beta") << int(EscapeKey) << "";
    QTest::newRow("Abbrechen") << at("beta") << int(CancelButton) << "";
    QTest::newRow("window closed") << at("beta") << int(CloseWindow) << "";
}

void TestFolderDialog::answerDecidesResult()
{
    QFETCH(QString, start);
    QFETCH(int, answer);
    QFETCH(QString, result);
    bool answered = false;
    bool closedByAnswer = false;
    whenModalOpen([&](FolderDialog* d) {
        give(d, Answer(answer));
        closedByAnswer = !d->isVisible();
        if (!closedByAnswer)
            d->reject();
    }, &answered);
    QCOMPARE(BrowseFolder(QStringLiteral("Ordner"), start, nullptr, true, QString(), true, false), result);
    QVERIFY(answered);
    QCOMPARE(closedByAnswer, !start.isEmpty()); // nothing selected: Return does nothing
}

void TestFolderDialog::keyboardMovesSelectionAndStatus_data()
{
    QTest::addColumn<QList<int>>("keys");
    QTest::addColumn<QString>("selected");
    QTest::newRow("down") << QList<int>{Qt::Key_Down} << at("beta");
    QTest::newRow("down twice") << QList<int>{Qt::Key_Down, Qt::Key_Down} << at("gamma");
    QTest::newRow("down and up") << QList<int>{Qt::Key_Down, Qt::Key_Up} << at("alpha");
    QTest::newRow("into a folder") << QList<int>{Qt::Key_Down, Qt::Key_Down, Qt::Key_Right, Qt::Key_Down}
                                   << at("gamma/Bilder ä ö");
}

void TestFolderDialog::keyboardMovesSelectionAndStatus()
{
    QFETCH(QList<int>, keys);
    QFETCH(QString, selected);
    FolderDialog dialog(options());
    QVERIFY(showAt(dialog, at("alpha")));
    QCOMPARE(dialog.statusLabel()->text(), "Auswahl: " + at("alpha"));
    // Rows arrive first and are sorted a little later; keys need the order.
    QTRY_COMPARE(shownNames(dialog, m_dir->path()), QStringList({"alpha", "beta", "gamma", "many"}));
    for (int key : keys) {
        QTest::keyClick(dialog.tree(), Qt::Key(key));
        if (key == Qt::Key_Right)
            QTRY_COMPARE(shownNames(dialog, at("gamma")), QStringList{"Bilder ä ö"});
    }
    QCOMPARE(dialog.selectedPath(), selected);
    QCOMPARE(dialog.statusLabel()->text(), "Auswahl: " + selected);

    dialog.tree()->clearSelection();
    QCOMPARE(dialog.statusLabel()->text(), QString());
    QVERIFY(!dialog.okButton()->isEnabled());
}

void TestFolderDialog::statusRecomputedOnResize_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<bool>("elided");
    QTest::newRow("narrow") << 400 << true;
    QTest::newRow("wide") << 1200 << false;
}

void TestFolderDialog::statusRecomputedOnResize()
{
    QFETCH(int, width);
    QFETCH(bool, elided);
    FolderDialog dialog(options());
    QVERIFY(showAt(dialog, at(kDeep)));
    dialog.resize(width, dialog.height());
    QTRY_COMPARE(dialog.width(), width); // the long status text must not widen it
    QLabel* status = dialog.statusLabel();
    QVERIFY(status->width() > width - 40 && status->width() <= width);
    const QString expected = ostrovel::StatusLineText(at(kDeep), status->width(), status->fontMetrics());
    QTRY_COMPARE(status->text(), expected);
    QCOMPARE(expected.contains(QChar(0x2026)), elided);
    QVERIFY(expected.endsWith(QStringLiteral("ebene/ziel")));
}

void TestFolderDialog::typeAheadSelectsByName_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("selected");
    QTest::newRow("g") << "g" << at("gamma");
    QTest::newRow("ma") << "ma" << at("many");
    QTest::newRow("b") << "b" << at("beta");
}

void TestFolderDialog::typeAheadSelectsByName()
{
    QFETCH(QString, typed);
    QFETCH(QString, selected);
    FolderDialog dialog(options());
    QVERIFY(showAt(dialog, at("alpha")));
    QTRY_COMPARE(shownNames(dialog, m_dir->path()), QStringList({"alpha", "beta", "gamma", "many"}));
    QTest::keyClicks(dialog.tree(), typed);
    QCOMPARE(dialog.selectedPath(), selected);
    QCOMPARE(dialog.statusLabel()->text(), "Auswahl: " + selected);
}

void TestFolderDialog::newFolderCreated_data()
{
    QTest::addColumn<QStringList>("existing");
    QTest::addColumn<QString>("made");
    QTest::newRow("first") << QStringList{} << "Neuer Ordner";
    QTest::newRow("second") << QStringList{"Neuer Ordner"} << "Neuer Ordner (2)";
    QTest::newRow("third") << QStringList{"Neuer Ordner", "Neuer Ordner (2)"} << "Neuer Ordner (3)";
}

void TestFolderDialog::newFolderCreated()
{
    QFETCH(QStringList, existing);
    QFETCH(QString, made);
    for (const QString& name : existing)
        QVERIFY(QDir(at("beta")).mkdir(name));
    FolderDialog dialog(options());
    QVERIFY(showAt(dialog, at("beta")));
    QVERIFY(dialogtest::makeNewFolder(dialog));
    QVERIFY(QFileInfo(at("beta/" + made)).isDir());
    QCOMPARE(dialog.selectedPath(), at("beta/" + made));
    auto* editor = dialog.tree()->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    QCOMPARE(editor->text(), made);
}

void TestFolderDialog::newFolderRenamedInPlace_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("noReplaceRefused");
    QTest::newRow("Return renames") << int(Qt::Key_Return) << "Urlaub" << false;
    QTest::newRow("Escape keeps the name") << int(Qt::Key_Escape) << "Neuer Ordner" << false;
    QTest::newRow("renames where no-replace is refused") << int(Qt::Key_Return) << "Urlaub" << true;
}

void TestFolderDialog::newFolderRenamedInPlace()
{
    QFETCH(int, key);
    QFETCH(QString, name);
    QFETCH(bool, noReplaceRefused);
    g_noReplaceRefused = noReplaceRefused;
    const auto restore = qScopeGuard([] { g_noReplaceRefused = false; });
    FolderDialog dialog(options());
    QStringList reasons;
    dialog.setMessageSink([&](const QString&, const QString& reason) { reasons << reason; });
    QVERIFY(showAt(dialog, at("beta")));
    QVERIFY(dialogtest::makeNewFolder(dialog));
    QPointer<QLineEdit> editor = dialog.tree()->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->selectAll();
    QTest::keyClicks(editor, QStringLiteral("Urlaub"));
    QTest::keyClick(editor, Qt::Key(key));
    QTRY_VERIFY(editor.isNull() || !editor->isVisible());
    QTRY_COMPARE(dialog.selectedPath(), at("beta/" + name));
    QCOMPARE(QDir(at("beta")).entryList(QDir::Dirs | QDir::NoDotAndDotDot), QStringList{name});
    QCOMPARE(dialog.tree()->currentIndex().data().toString(), name);
    QVERIFY(dialog.isVisible()); // the key ended the renaming, not the dialog
    QCOMPARE(reasons, QStringList());
    QCOMPARE(dialog.statusLabel()->text(), "Auswahl: " + at("beta/" + name));
}

void TestFolderDialog::rootPathRestrictsTree_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("start");
    QTest::addColumn<QString>("selected");
    QTest::newRow("start inside") << at("gamma") << at("gamma/Bilder ä ö") << at("gamma/Bilder ä ö");
    QTest::newRow("start is the root") << at("gamma") << at("gamma") << at("gamma");
    QTest::newRow("start outside") << at("gamma") << at("beta") << "";
    QTest::newRow("start above") << at("gamma") << m_dir->path() << "";
    QTest::newRow("missing root restricts nothing") << at("fehlt") << at("beta") << at("beta");
}

void TestFolderDialog::rootPathRestrictsTree()
{
    QFETCH(QString, root);
    QFETCH(QString, start);
    QFETCH(QString, selected);
    FolderDialog dialog(options(false, root));
    QSignalSpy loaded(dialog.fileModel(), &QFileSystemModel::directoryLoaded);
    QVERIFY(showAt(dialog, start));
    QCOMPARE(dialog.selectedPath(), selected);
    if (!QFileInfo(root).isDir()) {
        QCOMPARE(dialog.rootPath(), QStringLiteral("/"));
        return;
    }
    // Once the root's own folder is listed, its siblings must still be hidden.
    QTRY_VERIFY(wasLoaded(loaded, m_dir->path()));
    QAbstractItemModel* model = dialog.tree()->model();
    QCOMPARE(model->rowCount(dialog.tree()->rootIndex()), 1);
    const QModelIndex top = model->index(0, 0, dialog.tree()->rootIndex());
    QCOMPARE(top.data().toString(), QStringLiteral("gamma"));
    dialog.tree()->setCurrentIndex(top);
    QTest::keyClick(dialog.tree(), Qt::Key_Up);
    QCOMPARE(dialog.selectedPath(), root);
}

void TestFolderDialog::modalCallOwnedAndKeyboardDriven()
{
    QWidget owner;
    owner.show();
    QVERIFY(QTest::qWaitForWindowExposed(&owner));
    bool answered = false;
    QWidget* parent = nullptr;
    bool modal = false;
    whenModalOpen([&](FolderDialog* d) {
        parent = d->parentWidget();
        modal = d->isModal();
        QTest::keyClick(d->tree(), Qt::Key_Right); // opens dritte_ebene
        if (!QTest::qWaitFor([d] { return d->tree()->model()->rowCount(d->tree()->currentIndex()) == 1; }))
            d->reject();
        QTest::keyClick(d->tree(), Qt::Key_Down);
        QTest::keyClick(d->tree(), Qt::Key_Return);
    }, &answered);
    const QString result = BrowseFolder(QStringLiteral("Zielordner wählen"), at(kDeep + "/.."), &owner, true,
                                        QString(), true, false);
    QVERIFY(answered);
    QCOMPARE(parent, &owner);
    QVERIFY(modal);
    QCOMPARE(result, at(kDeep));
}

QTEST_MAIN(TestFolderDialog)
#include "test_folder_dialog.moc"
