// A file system of the test's own whose files fail as a dying disk's would:
//   good.bin   64 KiB that read back
//   bad.bin    an I/O error halfway through
//   secret.bin not readable by anyone
//   broken/    a folder whose listing fails with an I/O error
// Run in the foreground: failingfs <mount point> -f
#define FUSE_USE_VERSION 31
#include <errno.h>
#include <fuse.h>
#include <string.h>
#include <sys/stat.h>

enum { kSize = 65536 };

static int which(const char* path)
{
    if (strcmp(path, "/good.bin") == 0)
        return 1;
    if (strcmp(path, "/bad.bin") == 0)
        return 2;
    if (strcmp(path, "/secret.bin") == 0)
        return 3;
    return 0;
}

static int getattr(const char* path, struct stat* facts, struct fuse_file_info* info)
{
    (void)info;
    memset(facts, 0, sizeof *facts);
    if (strcmp(path, "/") == 0 || strcmp(path, "/broken") == 0) {
        facts->st_mode = S_IFDIR | 0755;
        facts->st_nlink = 2;
        return 0;
    }
    if (!which(path))
        return -ENOENT;
    facts->st_mode = S_IFREG | 0444;
    facts->st_nlink = 1;
    facts->st_size = kSize;
    return 0;
}

static int readdir(const char* path, void* buffer, fuse_fill_dir_t fill, off_t offset, struct fuse_file_info* info,
    enum fuse_readdir_flags flags)
{
    (void)offset, (void)info, (void)flags;
    if (strcmp(path, "/broken") == 0)
        return -EIO;
    if (strcmp(path, "/") != 0)
        return -ENOENT;
    fill(buffer, ".", nullptr, 0, fuse_fill_dir_flags(0));
    fill(buffer, "..", nullptr, 0, fuse_fill_dir_flags(0));
    fill(buffer, "good.bin", nullptr, 0, fuse_fill_dir_flags(0));
    fill(buffer, "bad.bin", nullptr, 0, fuse_fill_dir_flags(0));
    fill(buffer, "secret.bin", nullptr, 0, fuse_fill_dir_flags(0));
    fill(buffer, "broken", nullptr, 0, fuse_fill_dir_flags(0));
    return 0;
}

static int open_(const char* path, struct fuse_file_info* info)
{
    (void)info;
    const int file = which(path);
    return !file ? -ENOENT : file == 3 ? -EACCES : 0;
}

static int read_(const char* path, char* buffer, size_t size, off_t offset, struct fuse_file_info* info)
{
    (void)info;
    if (which(path) == 2 && offset + (off_t)size > kSize / 2)
        return -EIO;
    if (offset >= kSize)
        return 0;
    if (offset + (off_t)size > kSize)
        size = (size_t)(kSize - offset);
    memset(buffer, 'x', size);
    return (int)size;
}

int main(int argc, char** argv)
{
    fuse_operations operations {};
    operations.getattr = getattr;
    operations.open = open_;
    operations.read = read_;
    operations.readdir = readdir;
    return fuse_main(argc, argv, &operations, nullptr);
}
