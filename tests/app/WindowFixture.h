#pragma once
// Shared set-up of the window tests: a fixed font, a temporary picture folder
// as the current folder, and a window whose dialogs the test answers.

#include "app/Form1.h"
#include "tests/support/TestPictures.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

struct ChooserCall {
    QString title, startPath;
    bool showStatus = false, rootGiven = false, newStyle = false, includeFiles = false;
    QString rootPath;
};

class WindowFixture {
public:
    WindowFixture()
    {
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
        m_previous = QDir::currentPath();
    }
    ~WindowFixture() { QDir::setCurrent(m_previous); }

    /// A new picture folder made current, and a window that starts there;
    /// `listed`: once the list shows it.
    ostrovel::Form1& openWindow(bool listed = true)
    {
        folder = std::make_unique<QTemporaryDir>();
        QDir::setCurrent(folder->path());
        populate();
        form = std::make_unique<ostrovel::Form1>();
        form->setFolderChooser([this](const QString& title, const QString& start, QWidget*, bool status,
                                      const std::optional<QString>& root, bool newStyle, bool files) {
            calls.push_back({title, start, status, root.has_value(), newStyle, files, root.value_or(QString())});
            return answers.isEmpty() ? QString() : answers.takeFirst();
        });
        form->setMessageSink([this](const ostrovel::WindowMessage& m) {
            messages << m.text;
            full << m;
        });
        form->show();
        if (listed)
            waitForList();
        return *form;
    }

    QString write(const QString& name, const QByteArray& bytes) const
    {
        const QString path = QDir(folder->path()).filePath(name);
        testpics::writeFile(path, bytes);
        return path;
    }

    /// Waits until the preview of the last click on the list has landed
    /// (it is rendered on a worker thread); false if it never does.
    bool waitForPreview(int timeoutMs = 30000) const
    {
        return QTest::qWaitFor([this] { return !form->previewPending(); }, timeoutMs);
    }

    /// Waits until the folder last given to the list is listed (off the
    /// window's thread); false if it never is.
    bool waitForList(int timeoutMs = 30000) const
    {
        return QTest::qWaitFor([this] { return !form->File1()->listingPending(); }, timeoutMs);
    }

    /// Override to fill the folder before the window reads it.
    std::function<void()> populate = [] {};

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<ostrovel::Form1> form;
    QStringList answers;
    QList<ChooserCall> calls;
    QStringList messages;                  ///< the main texts
    QList<ostrovel::WindowMessage> full;   ///< with informative and detailed texts

private:
    QString m_previous;
};
