// SPDX-License-Identifier: MIT
// Decodes a JPEG the way Qt's reader does (32-bit RGB, the accurate integer
// transform, fancy upsampling), one scanline at a time, and nothing more:
//   decode_floor FILE.jpg
// No program that reads the picture can finish sooner; bench_whole_runs
// measures the converter against it.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: decode_floor FILE.jpg\n");
        return 1;
    }
    FILE* file = std::fopen(argv[1], "rb");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    // libjpeg's own error handler reports and exits, which is all a
    // measuring tool needs.
    jpeg_decompress_struct decoder{};
    jpeg_error_mgr errors{};
    decoder.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&decoder);
    jpeg_stdio_src(&decoder, file);
    jpeg_read_header(&decoder, TRUE);
    decoder.out_color_space = JCS_EXT_BGRX;
    decoder.dct_method = JDCT_ISLOW;
    decoder.do_fancy_upsampling = TRUE;
    jpeg_start_decompress(&decoder);
    const unsigned width = decoder.output_width, height = decoder.output_height;

    std::vector<JSAMPLE> row(size_t(width) * 4);
    JSAMPROW rows[1] = {row.data()};
    // Summing the rows keeps the compiler from dropping them. Eight bytes at
    // a time: a byte at a time took 40 % of the whole run, and the floor is
    // the decode, not the sum.
    uint64_t sum = 0;
    while (decoder.output_scanline < height) {
        jpeg_read_scanlines(&decoder, rows, 1);
        for (size_t i = 0; i + sizeof sum <= row.size(); i += sizeof sum) {
            uint64_t word;
            std::memcpy(&word, &row[i], sizeof word);
            sum += word;
        }
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    std::fclose(file);
    std::printf("%u x %u, word sum %llu\n", width, height, (unsigned long long)sum);
    return 0;
}
