#pragma once
// Runs the real ostrovel-batch as a child process, with a time limit so a
// hang fails the test instead of the CI job.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QProcessEnvironment>

namespace batchtest {

struct Run {
    int status = -1; ///< exit code; -2 when killed by a signal, -1 when it did not end in time
    QByteArray out;
    QByteArray err;
};

struct RunOptions {
    QString workingDirectory;
    QByteArray input;                  ///< fed to standard input, which is then closed
    QStringList unset;                 ///< environment variables removed
    QMap<QString, QString> set;        ///< environment variables set
};

inline QString batchProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/ostrovel-batch");
}

inline Run batch(const QStringList& args, const RunOptions& options = {})
{
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString& name : options.unset)
        env.remove(name);
    for (auto it = options.set.begin(); it != options.set.end(); ++it)
        env.insert(it.key(), it.value());
    p.setProcessEnvironment(env);
    if (!options.workingDirectory.isEmpty())
        p.setWorkingDirectory(options.workingDirectory);
    p.start(batchProgram(), args);
    if (!p.waitForStarted(30000))
        return {};
    p.write(options.input);
    p.closeWriteChannel();
    if (!p.waitForFinished(120000)) {
        p.kill();
        p.waitForFinished(5000);
        return {};
    }
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2, p.readAllStandardOutput(),
            p.readAllStandardError()};
}

/// Every file of `folder` (hidden ones too) by name, with its bytes.
inline QMap<QString, QByteArray> filesOf(const QString& folder)
{
    QMap<QString, QByteArray> files;
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        QFile f(dir.filePath(name));
        if (f.open(QIODevice::ReadOnly))
            files[name] = f.readAll();
    }
    return files;
}

} // namespace batchtest
