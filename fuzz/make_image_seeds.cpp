// Writes the image fuzzer's crafted seeds: the tiny images of the image
// runner's table test (tests/image_cases.h), one file each, named after its
// case, into the folder given (fuzz/image_corpus). The real images are
// copied there beside them, as device-image.exe and desktop-image.exe.
//
//   make_image_seeds FOLDER
#include "tests/image_cases.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_image_seeds FOLDER\n");
        return 2;
    }
    int written = 0;
    for (const cases::RunCase& c : cases::Cases()) {
        const std::string path = std::string(argv[1]) + "/crafted-" + c.name + ".exe";
        std::ofstream out(path, std::ios::binary);
        if (!out.write(reinterpret_cast<const char*>(c.image.data()),
                       static_cast<std::streamsize>(c.image.size()))) {
            std::fprintf(stderr, "make_image_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
        ++written;
    }
    std::printf("%d seeds written to %s\n", written, argv[1]);
    return 0;
}
