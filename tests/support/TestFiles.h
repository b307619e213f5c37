#pragma once
// Small file utilities of the tests.

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ostrovel::test {

/// The whole file, or a null array when it cannot be read.
QByteArray readFile(const QString& path);

/// Creates or truncates `path` and writes `bytes`; false on failure.
bool writeFile(const QString& path, const QByteArray& bytes);

/// Whether `path` itself (not what a link there points to) is a regular file.
bool isRegularFile(const QString& path);

/// The process's mapped address space in bytes (VmSize), 0 if unknown.
quint64 addressSpaceInUse();

/// True in a sanitizer build, whose allocator reserves far more address
/// space than any limit a test sets (GCC and clang say so differently).
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kSanitizerBuild = true;
#elif defined(__has_feature)
constexpr bool kSanitizerBuild = __has_feature(address_sanitizer) || __has_feature(thread_sanitizer);
#else
constexpr bool kSanitizerBuild = false;
#endif

/// How many times slower a sanitizer build runs: a test's time limits are
/// multiplied by it.
constexpr int kSanitizerSlowdown = kSanitizerBuild ? 10 : 1;

/// Every entry of a folder, hidden ones included, sorted.
QStringList folderEntries(const QString& folder);

} // namespace ostrovel::test
