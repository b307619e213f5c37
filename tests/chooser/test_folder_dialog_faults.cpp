// The folder dialog when the file system says no: a new folder that cannot
// be made, a renaming that is refused, a chosen folder removed before OK.
// Each says why in German and leaves the dialog as it was.

#include "tests/chooser/DialogHelpers.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>

#include <memory>
#include <unistd.h>

class TestFolderDialogFaults : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void newFolderFailureSaysWhy_data();
    void newFolderFailureSaysWhy();
    void renameFailureSaysWhy_data();
    void renameFailureSaysWhy();
    void vanishedChoiceKeepsDialogOpen_data();
    void vanishedChoiceKeepsDialogOpen();

private:
    QString at(const QString& relative) const { return m_dir->path() + QLatin1Char('/') + relative; }
    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestFolderDialogFaults::initTestCase()
{
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    QApplication::setFont(font);
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFolderDialogFaults::init()
{
    QDir beta(at("beta"));
    QVERIFY(beta.removeRecursively());
    QVERIFY(beta.mkpath(QStringLiteral(".")));
}

void TestFolderDialogFaults::newFolderFailureSaysWhy_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("folder removed from outside") << "removed" << "Ordner nicht gefunden";
    QTest::newRow("read-only folder") << "readonly" << "Keine Berechtigung";
}

void TestFolderDialogFaults::newFolderFailureSaysWhy()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    const QString parent = at("beta/eltern");
    QVERIFY(QDir().mkpath(parent));
    FolderDialog dialog(options());
    QList<QStringList> messages;
    dialog.setMessageSink([&](const QString& text, const QString& why) { messages << QStringList{text, why}; });
    QVERIFY(showAt(dialog, parent));
    if (fault == "removed") {
        QVERIFY(QDir(parent).removeRecursively());
    } else {
        if (geteuid() == 0)
            QSKIP("root may write into a read-only folder");
        QVERIFY(QFile::setPermissions(parent, QFile::ReadOwner | QFile::ExeOwner));
    }
    QVERIFY(dialogtest::makeNewFolder(dialog));
    QFile::setPermissions(parent, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(messages, (QList<QStringList>{{"Der Ordner konnte nicht erstellt werden.", reason}}));
    QVERIFY(dialog.isVisible());
    // As it was; a folder removed from outside leaves the tree whenever the
    // file system watcher tells the model, which on a busy machine may
    // already have moved the selection to its parent.
    if (fault != "removed")
        QCOMPARE(dialog.selectedPath(), parent);
    QVERIFY(!dialog.tree()->viewport()->findChild<QLineEdit*>() || !dialog.tree()->viewport()->findChild<QLineEdit*>()->isVisible());
}

void TestFolderDialogFaults::renameFailureSaysWhy_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("reason");
    QTest::newRow("name taken") << "schon da" << "Eine Datei oder ein Ordner dieses Namens existiert bereits";
    QTest::newRow("with a slash") << "a/b" << "Der Name darf kein \u201E/\u201C enthalten";
    QTest::newRow("too long") << QString(300, QChar('x')) << "Dateiname zu lang";
    QTest::newRow("empty") << "" << "Der Name darf nicht leer sein";
}

void TestFolderDialogFaults::renameFailureSaysWhy()
{
    QFETCH(QString, name);
    QFETCH(QString, reason);
    QVERIFY(QDir(at("beta")).mkdir("schon da"));
    FolderDialog dialog(options());
    QList<QStringList> messages;
    dialog.setMessageSink([&](const QString& text, const QString& why) { messages << QStringList{text, why}; });
    QVERIFY(showAt(dialog, at("beta")));
    QVERIFY(dialogtest::makeNewFolder(dialog));
    QPointer<QLineEdit> editor = dialog.tree()->viewport()->findChild<QLineEdit*>();
    QVERIFY(editor);
    editor->setText(name);
    QTest::keyClick(editor, Qt::Key_Return);
    QTRY_COMPARE(messages.size(), 1);
    QCOMPARE(messages.first(), (QStringList{"Der Ordner konnte nicht umbenannt werden.", reason}));
    QStringList folders = QDir(at("beta")).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    QCOMPARE(folders, (QStringList{"Neuer Ordner", "schon da"})); // left as it was
    QVERIFY(dialog.isVisible());
    QCOMPARE(dialog.selectedPath(), at("beta/Neuer Ordner"));
}

void TestFolderDialogFaults::vanishedChoiceKeepsDialogOpen_data()
{
    QTest::addColumn<int>("answer");
    QTest::newRow("OK") << int(OkButton);
    QTest::newRow("Return") << int(ReturnKey);
}

void TestFolderDialogFaults::vanishedChoiceKeepsDialogOpen()
{
    QFETCH(int, answer);
    for (const char* name : {"a1", "a2", "a3"})
        QVERIFY(QDir(at("beta")).mkdir(name));
    bool answered = false;
    bool stayedOpen = false;
    QList<QStringList> messages;
    whenModalOpen([&](FolderDialog* d) {
        d->setMessageSink([&](const QString& text, const QString& why) { messages << QStringList{text, why}; });
        (void)QTest::qWaitFor([d] { return d->tree()->model()->rowCount(viewIndex(*d, d->selectedPath()).parent()) == 3; }, 2000);
        QVERIFY(QDir(at("beta/a2")).removeRecursively()); // from outside, after the choice
        QTest::qWait(200); // time for the tree to hear of it, if it listened
        give(d, Answer(answer));
        stayedOpen = d->isVisible();
        d->reject();
    }, &answered);
    const QString result = BrowseFolder("Zielordner wählen", at("beta/a2"), nullptr, true, QString(), true, false);
    QVERIFY(answered);
    QVERIFY(stayedOpen);
    QCOMPARE(result, QString()); // never the neighbour
    QCOMPARE(messages, (QList<QStringList>{{"Der gewählte Ordner existiert nicht mehr.", at("beta/a2")}}));
}

QTEST_MAIN(TestFolderDialogFaults)
#include "test_folder_dialog_faults.moc"
