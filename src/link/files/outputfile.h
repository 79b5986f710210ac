// Writing a file the operator named (a configuration backup, an EEPROM dump)
// so that a failed write never costs the file that was there before, and a
// device or pipe named as the output stays what it is.
#ifndef HALVERO_OUTPUTFILE_H
#define HALVERO_OUTPUTFILE_H

#include <QByteArray>
#include <QString>
#include <functional>

#include "result.h"

namespace OutputFile {

// Writes `data` to `path`:
// - a regular file, or a path where nothing is yet, is replaced as a whole:
//   written to a temporary file in the same folder, forced to the disk and
//   renamed over it, so that on any failure the previous file is untouched
//   and no temporary is left behind;
// - through a symlink, the file it points to is replaced, the link stays;
// - a device or a FIFO (/dev/null, /dev/stdout, a named pipe) is written in
//   place, never replaced; a FIFO that no program opens for reading within
//   2 s fails instead of waiting for a reader for good;
// - a folder is refused.
// A failure is ErrorCode::OutputFile, its message why in a few words.
// `givenUp`, when set, is asked while a FIFO waits for its reader: true
// ends the wait at once (the program was asked to end).
Result writeFileSafely(const QString &path, const QByteArray &data, const std::function<bool()> &givenUp = {});

// Asked before the work whose record the file is begins, so that a run is
// not done for nothing: a folder, a folder that is not there or cannot be
// written to, and a file marked read-only are refused; a device or a pipe
// passes (it would be written in place). A full disk shows only at the
// write itself.
Result checkWritable(const QString &path);

// A write past the file-size limit (ulimit -f) then fails with EFBIG
// instead of killing the process with SIGXFSZ, so that the program's own
// error path reports it. Does nothing where there is no such signal.
void ignoreFileSizeSignal();

} // namespace OutputFile

#endif // HALVERO_OUTPUTFILE_H
