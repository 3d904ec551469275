// A FUSE file system whose every look hangs, like a share whose server
// vanished: `hangfs <folder>` mounts it in the foreground until killed (SIGKILL
// releases whatever waits on it).
#define FUSE_USE_VERSION 31
#include <fuse.h>

#include <string>
#include <unistd.h>

namespace {

int hangGetattr(const char*, struct stat*, fuse_file_info*) {
    for (;;)
        ::pause();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    fuse_operations operations{};
    operations.getattr = hangGetattr;
    std::string words[] = {argv[0], "-f", argv[1]};
    char* args[] = {words[0].data(), words[1].data(), words[2].data(), nullptr};
    return fuse_main(3, args, &operations, nullptr);
}
