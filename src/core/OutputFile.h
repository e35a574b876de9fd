#pragma once

#include <QFile>
#include <QIODevice>
#include <QSaveFile>
#include <QString>

#include <memory>

namespace tellvane {

// Where a command or an export writes: a file that is replaced only when its
// new content is complete (written beside it, then renamed into place), or an
// open descriptor such as the standard output. Every write is checked, and a
// failure keeps the system's own reason ("No space left on device"), which
// Qt's error strings do not always carry.
class OutputFile final : public QIODevice {
public:
    OutputFile() = default;
    ~OutputFile() override;

    // A regular file, or one to be made, is written beside its place; a
    // device or a pipe (/dev/null, /dev/full) is written directly.
    bool openFile(const QString& fileName);
    // Left open by close().
    bool openDescriptor(int descriptor);
    // Writes what is buffered, and puts a file in its place. False, with
    // failure(), when any write or the rename failed; the old file then stays.
    bool commit();
    // Drops what was written: an old file stays as it was.
    void cancel();

    bool failed() const { return !m_failure.isEmpty(); }
    QString failure() const { return m_failure; }
    // The first failure kept is the first one: what followed is its echo.
    void fail(int errorNumber, const QString& otherwise);

    bool isSequential() const override { return true; }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    std::unique_ptr<QSaveFile> m_save;
    std::unique_ptr<QFile> m_direct;
    int m_descriptor = -1;
    QString m_failure;
};

// The system's text for an errno value ("No space left on device").
QString systemErrorText(int errorNumber);

// Makes a file that no one else writes: the name itself, or when a file of
// that name exists, the name with the separator and 2, 3 ... 99 before its
// extension ("run_2.txt"), and locks it. The name made, with the file open
// for writing; empty when none could be, with errno's value in errorNumber.
QString createOwnFile(QFile& file, const QString& name, QChar separator, int& errorNumber);
// Takes the lock that says the open file is written here; false (errno set)
// when another program holds it.
bool lockForWriting(QFile& file);

// True when both names are one file, by device and inode (a hard link or a
// symbolic link too); false when either does not exist.
bool sameFile(const QString& a, const QString& b);

}  // namespace tellvane
