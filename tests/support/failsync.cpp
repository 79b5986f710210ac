// Forcing a file to the disk that always fails with EIO, as a dying disk
// does: preloaded (LD_PRELOAD) into a program under test, it shows whether
// that program checks the flush and keeps what it did not get to the disk
// from going on as if it had.
#include <cerrno>

extern "C" int fsync(int)
{
    errno = EIO;
    return -1;
}

extern "C" int fdatasync(int)
{
    errno = EIO;
    return -1;
}
