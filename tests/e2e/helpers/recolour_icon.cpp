// Writes a copy of an icon file in which every palette entry but the first (the transparent
// background) is one colour, so that a screenshot shows where the icon was drawn.
//   recolour_icon IN.ico OUT.ico RRGGBB
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: recolour_icon IN.ico OUT.ico RRGGBB\n");
        return 1;
    }
    std::ifstream in(argv[1], std::ios::binary);
    std::vector<unsigned char> ico((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
    const unsigned long rgb = std::strtoul(argv[3], nullptr, 16);
    if (ico.size() < 6) return 1;
    const unsigned count = ico[4] | ico[5] << 8;
    for (unsigned i = 0; i < count; ++i) {
        const size_t entry = 6 + 16 * i;
        if (entry + 16 > ico.size()) return 1;
        const size_t image = ico[entry + 12] | ico[entry + 13] << 8 | ico[entry + 14] << 16;
        if (image + 40 + 1024 > ico.size() || ico[image + 14] != 8) return 1;  // 8 bits a pixel
        for (size_t k = 1; k < 256; ++k) {
            unsigned char* colour = &ico[image + 40 + 4 * k];  // blue, green, red, zero
            colour[0] = rgb & 0xFF;
            colour[1] = rgb >> 8 & 0xFF;
            colour[2] = rgb >> 16 & 0xFF;
        }
    }
    std::ofstream out(argv[2], std::ios::binary);
    out.write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
    return out ? 0 : 1;
}
