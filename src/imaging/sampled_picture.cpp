// SPDX-License-Identifier: Apache-2.0
// Samples as stored, in and out: PNG through libpng (its image data deflated
// here, on every core) and TIFF through libtiff (Qt's codecs widen grey and
// alpha to RGBA and cannot write 16-bit RGB without an alpha), BMP through
// Qt, PPM/PGM by hand.
#include "imaging/sampled_picture.h"

#include "imaging/library_noise.h"
#include "imaging/picture_out.h"
#include "imaging/qt_image.h"

#include <QFileInfo>
#include <QImage>
#include <QImageReader>

#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrel {

namespace {

constexpr int kDotsPerMetre = 3780; // 96 dpi, as every file the program writes

// A refusal on the way, still to be given its path.
struct Refused : std::runtime_error {
    FileProblem problem;
    Refused(FileProblem p, const std::string &detail) : std::runtime_error(detail), problem(p) {}
};

[[noreturn]] void undecodable(const std::string &detail) { throw Refused(FileProblem::Undecodable, detail); }

void checkSize(long long width, long long height, const char *kind) {
    if (width <= 0 || height <= 0)
        undecodable(std::string(kind) + " (no pixels)");
    // Each side first: two sides of a damaged header would overflow the product.
    if (width > kMaxSampledPixels || height > kMaxSampledPixels || width * height > kMaxSampledPixels)
        throw Refused(FileProblem::TooLarge, sizeClaim(kind, width, height));
}

void allocate(SampledPicture &p) {
    if (p.bitDepth == 16)
        p.wide.resize(p.samples());
    else
        p.narrow.resize(p.samples());
}

// The first rows made, the room for them growing twofold up to the whole
// picture: a header claiming a huge picture over a few bytes of data then
// costs about the rows that really came, not the size it claims. (Room
// taken whole but untouched would do as much, except under a sanitizer,
// which writes its own record of every byte taken.)
template <class T>
void growRows(std::vector<T> &samples, std::size_t n, std::size_t whole) {
    if (n > samples.capacity())
        samples.reserve(std::min(whole, std::max(n, 2 * samples.capacity())));
    samples.resize(n);
}

void allocateRows(SampledPicture &p, int rows) {
    const std::size_t n = static_cast<std::size_t>(rows) * p.width * p.channels;
    if (p.bitDepth == 16)
        growRows(p.wide, n, p.samples());
    else
        growRows(p.narrow, n, p.samples());
}

std::uint8_t *rowBytes(SampledPicture &p, int y) {
    const std::size_t offset = static_cast<std::size_t>(y) * p.width * p.channels;
    return p.bitDepth == 16 ? reinterpret_cast<std::uint8_t *>(p.wide.data() + offset) : p.narrow.data() + offset;
}
const std::uint8_t *rowBytes(const SampledPicture &p, int y) { return rowBytes(const_cast<SampledPicture &>(p), y); }
std::size_t rowSize(const SampledPicture &p) { return static_cast<std::size_t>(p.width) * p.channels * (p.bitDepth / 8); }

// ---------------------------------------------------------------- PNG

// libpng's errors become exceptions (its manual's way for C++); its warnings
// are dropped: a picture that reads says nothing.
[[noreturn]] void pngError(png_structp, png_const_charp message) { throw std::runtime_error(message); }
void pngWarning(png_structp, png_const_charp) {}

struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngRead() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

void pngReadBytes(png_structp png, png_bytep data, png_size_t length) {
    auto *file = static_cast<std::FILE *>(png_get_io_ptr(png));
    if (std::fread(data, 1, length, file) != length)
        png_error(png, "the file ends early");
}

SampledPicture readPng(std::FILE *file) {
    PngRead r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (!r.png)
        throw std::bad_alloc();
    r.info = png_create_info_struct(r.png);
    if (!r.info)
        throw std::bad_alloc();
    png_set_read_fn(r.png, file, pngReadBytes);
    // A profile libpng knows for a faulty copy of sRGB is still the file's own.
    png_set_option(r.png, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
    png_set_user_limits(r.png, 1u << 30, 1u << 30);
    png_read_info(r.png, r.info);
    const png_uint_32 width = png_get_image_width(r.png, r.info), height = png_get_image_height(r.png, r.info);
    checkSize(width, height, "picture");
    const int type = png_get_color_type(r.png, r.info);
    const int depth = png_get_bit_depth(r.png, r.info);

    SampledPicture p;
    p.width = static_cast<int>(width);
    p.height = static_cast<int>(height);
    p.readAs = FileFormat::Png;
    p.bitDepth = depth == 16 ? 16 : 8;
    switch (type) {
    case PNG_COLOR_TYPE_PALETTE:
        png_set_palette_to_rgb(r.png);
        p.channels = png_get_valid(r.png, r.info, PNG_INFO_tRNS) ? 4 : 3;
        if (p.channels == 4)
            png_set_tRNS_to_alpha(r.png);
        break;
    case PNG_COLOR_TYPE_GRAY:
        if (depth < 8)
            png_set_expand_gray_1_2_4_to_8(r.png);
        p.channels = 1;
        break;
    case PNG_COLOR_TYPE_GRAY_ALPHA:
        p.channels = 2;
        break;
    case PNG_COLOR_TYPE_RGB:
        p.channels = 3;
        break;
    default:
        p.channels = 4;
        break;
    }
    if (depth == 16 && std::endian::native == std::endian::little)
        png_set_swap(r.png);
    png_set_interlace_handling(r.png);
    png_read_update_info(r.png, r.info);
    if (png_get_rowbytes(r.png, r.info) != rowSize(p))
        undecodable("PNG (an unexpected row length)");

    png_charp name = nullptr;
    int compression = 0;
    png_bytep profile = nullptr;
    png_uint_32 length = 0;
    if (png_get_iCCP(r.png, r.info, &name, &compression, &profile, &length) && profile) {
        p.colour.iccProfile.assign(reinterpret_cast<const char *>(profile), length);
        p.colour.iccName = name;
    }
    if (int intent = 0; png_get_sRGB(r.png, r.info, &intent))
        p.colour.srgbIntent = intent;
    if (png_fixed_point gamma = 0; png_get_gAMA_fixed(r.png, r.info, &gamma))
        p.colour.gamma = gamma;
    if (png_fixed_point c[8]; png_get_cHRM_fixed(r.png, r.info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]))
        p.colour.chrm = std::array<long, 8>{c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7]};

    // Deflate spells at most 1032 bytes in one byte, so a file too short for
    // the rows it claims is refused before they are allocated.
    struct stat st {};
    const unsigned long long decoded = (static_cast<unsigned long long>(rowSize(p)) + 1) * p.height;
    if (::fstat(fileno(file), &st) == 0 && decoded > 1032ULL * static_cast<unsigned long long>(st.st_size) + 65536)
        undecodable("PNG (the file is too short for the size it claims)");
    allocate(p);
    std::vector<png_bytep> rows(static_cast<std::size_t>(p.height));
    for (int y = 0; y < p.height; ++y)
        rows[static_cast<std::size_t>(y)] = rowBytes(p, y);
    png_read_image(r.png, rows.data());
    png_read_end(r.png, nullptr);
    return p;
}

struct PngWrite {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWrite() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

void pngWriteBytes(png_structp png, png_bytep data, png_size_t length) {
    if (!writeAll(*static_cast<int *>(png_get_io_ptr(png)), {reinterpret_cast<const char *>(data), length}))
        png_error(png, std::strerror(errno));
}
void pngFlush(png_structp) {}

// The image data, filtered as libpng filters it by default and deflated on
// every core: libpng's own writer deflates on one, and a sealed picture's
// noisy lowest bits make that four fifths of a seal's time. The rows go in
// stripes, each a raw deflate stream ended by a full flush (the last by the
// stream's end), so the stripes join into one zlib stream behind one header,
// its Adler-32 combined from theirs. The stripes follow from the picture's
// row length alone, so the file is the same whatever the number of cores.
constexpr std::size_t kStripeBytes = 256 * 1024; // filtered bytes a stripe, about
constexpr std::size_t kIdatBytes = 64 * 1024;    // the data of a full IDAT chunk
constexpr int kDeflateLevel = 6;                 // zlib's default, as libpng's
constexpr std::size_t kDeflatePiece = 1u << 30;  // what zlib is given at a time

// What libpng's adaptive filtering adds up for a filtered row: each byte as
// a signed distance from zero. The lowest sum wins, the earlier filter on a tie.
std::size_t filterCost(const std::uint8_t *row, std::size_t n) {
    std::size_t sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += row[i] < 128 ? row[i] : 256 - row[i];
    return sum;
}

int paeth(int a, int b, int c) {
    const int pa = std::abs(b - c), pb = std::abs(a - c), pc = std::abs(a + b - 2 * c);
    return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
}

// One row filtered into out (its filter type first, then rowBytes bytes);
// above is the row before it, zeros for the first.
void filterRow(const std::uint8_t *row, const std::uint8_t *above, std::size_t rowBytes, std::size_t bpp,
               std::array<std::vector<std::uint8_t>, 4> &trial, std::uint8_t *out) {
    std::uint8_t *sub = trial[0].data(), *up = trial[1].data(), *avg = trial[2].data(), *pth = trial[3].data();
    for (std::size_t i = 0; i < rowBytes; ++i) {
        const int x = row[i], b = above[i];
        const int a = i >= bpp ? row[i - bpp] : 0, c = i >= bpp ? above[i - bpp] : 0;
        sub[i] = static_cast<std::uint8_t>(x - a);
        up[i] = static_cast<std::uint8_t>(x - b);
        avg[i] = static_cast<std::uint8_t>(x - (a + b) / 2);
        pth[i] = static_cast<std::uint8_t>(x - paeth(a, b, c));
    }
    const std::uint8_t *best = row;
    std::uint8_t type = 0;
    std::size_t lowest = filterCost(row, rowBytes);
    for (std::uint8_t t = 0; t < 4; ++t)
        if (const std::size_t cost = filterCost(trial[t].data(), rowBytes); cost < lowest) {
            lowest = cost;
            best = trial[t].data();
            type = static_cast<std::uint8_t>(t + 1);
        }
    out[0] = type;
    std::memcpy(out + 1, best, rowBytes);
}

// A row's bytes as the file stores them: 16-bit samples big-endian.
void fileOrder(const SampledPicture &p, int y, std::uint8_t *out) {
    const std::size_t n = rowSize(p);
    std::memcpy(out, rowBytes(p, y), n);
    if (p.bitDepth == 16 && std::endian::native == std::endian::little)
        for (std::size_t i = 0; i + 1 < n; i += 2)
            std::swap(out[i], out[i + 1]);
}

struct Deflated {
    std::vector<std::uint8_t> bytes;
    uLong adler = 1, length = 0; // of the filtered rows
};

// Rows [from, to) filtered and deflated; the last stripe ends the stream.
Deflated deflateStripe(const SampledPicture &p, int from, int to, bool last) {
    const std::size_t rowBytes = rowSize(p), bpp = static_cast<std::size_t>(p.channels) * (p.bitDepth / 8);
    std::vector<std::uint8_t> above(rowBytes, 0), row(rowBytes);
    std::array<std::vector<std::uint8_t>, 4> trial;
    for (auto &t : trial)
        t.resize(rowBytes);
    if (from > 0)
        fileOrder(p, from - 1, above.data());
    std::vector<std::uint8_t> filtered(static_cast<std::size_t>(to - from) * (rowBytes + 1));
    for (int y = from; y < to; ++y) {
        fileOrder(p, y, row.data());
        filterRow(row.data(), above.data(), rowBytes, bpp, trial,
                  filtered.data() + static_cast<std::size_t>(y - from) * (rowBytes + 1));
        std::swap(row, above);
    }

    Deflated d;
    d.length = static_cast<uLong>(filtered.size());
    d.adler = adler32_z(1, filtered.data(), filtered.size());
    z_stream z{};
    // Raw deflate, with libpng's window, memory and strategy for filtered rows.
    if (deflateInit2(&z, kDeflateLevel, Z_DEFLATED, -15, 8, Z_FILTERED) != Z_OK)
        throw std::bad_alloc();
    const std::unique_ptr<z_stream, int (*)(z_stream *)> ending(&z, deflateEnd);
    // deflateBound is for a finished stream; a full flush adds a few bytes
    // more. zlib counts in 32 bits, and one row of a wide picture can be
    // longer than that: the rows go in pieces.
    d.bytes.resize(deflateBound(&z, d.length) + 64);
    const int flush = last ? Z_FINISH : Z_FULL_FLUSH;
    for (std::size_t in = 0, out = 0;;) {
        if (out == d.bytes.size())
            d.bytes.resize(d.bytes.size() * 2);
        const std::size_t inPiece = std::min(filtered.size() - in, kDeflatePiece);
        const std::size_t outPiece = std::min(d.bytes.size() - out, kDeflatePiece);
        const bool all = in + inPiece == filtered.size();
        z.next_in = filtered.data() + in;
        z.avail_in = static_cast<uInt>(inPiece);
        z.next_out = d.bytes.data() + out;
        z.avail_out = static_cast<uInt>(outPiece);
        const int done = deflate(&z, all ? flush : Z_NO_FLUSH);
        if (done == Z_STREAM_ERROR)
            throw std::runtime_error("the image data could not be compressed");
        in += inPiece - z.avail_in;
        out += outPiece - z.avail_out;
        if (all && z.avail_in == 0 && (last ? done == Z_STREAM_END : z.avail_out != 0)) {
            d.bytes.resize(out);
            return d;
        }
    }
}

// Runs its action when it goes, however.
template <class F>
struct OnLeaving {
    F action;
    ~OnLeaving() { action(); }
};
// Clang 14 deduces no aggregate's arguments by itself.
template <class F>
OnLeaving(F) -> OnLeaving<F>;

// The compressed image data as IDAT chunks of kIdatBytes, the last shorter.
class IdatChunks {
  public:
    explicit IdatChunks(png_structp png) : png_(png) { pending_.reserve(kIdatBytes); }
    void add(const std::uint8_t *data, std::size_t n) {
        while (n > 0) {
            const std::size_t take = std::min(n, kIdatBytes - pending_.size());
            pending_.insert(pending_.end(), data, data + take);
            data += take;
            n -= take;
            if (pending_.size() == kIdatBytes) {
                write(pending_.data(), pending_.size());
                pending_.clear();
            }
        }
    }
    void finish() {
        if (!pending_.empty())
            write(pending_.data(), pending_.size());
    }

  private:
    void write(const std::uint8_t *data, std::size_t n) {
        static constexpr png_byte kIdat[5] = {'I', 'D', 'A', 'T', 0};
        png_write_chunk(png_, kIdat, data, n);
    }
    png_structp png_;
    std::vector<std::uint8_t> pending_;
};

// Deflates the stripes on every core and hands them to chunks in order. A
// stripe is begun only a few ahead of the one being written, so the
// compressed data is never all held at once.
void writeImageData(const SampledPicture &p, IdatChunks &chunks) {
    const int stripeRows = static_cast<int>(std::max<std::size_t>(1, kStripeBytes / (rowSize(p) + 1)));
    const int stripes = (p.height + stripeRows - 1) / stripeRows;
    const int threads = std::min(stripes, static_cast<int>(std::max(1u, std::thread::hardware_concurrency())));
    const int ahead = 2 * threads;

    std::mutex lock;
    std::condition_variable changed;
    std::vector<std::optional<Deflated>> done(static_cast<std::size_t>(stripes));
    int next = 0, written = 0;
    bool stop = false;
    std::exception_ptr failure;
    const auto work = [&] {
        for (;;) {
            int s;
            {
                std::unique_lock held(lock);
                changed.wait(held, [&] { return stop || next >= stripes || next < written + ahead; });
                if (stop || next >= stripes)
                    return;
                s = next++;
            }
            try {
                const int from = s * stripeRows, to = std::min(p.height, from + stripeRows);
                Deflated d = deflateStripe(p, from, to, s == stripes - 1);
                const std::lock_guard held(lock);
                done[static_cast<std::size_t>(s)] = std::move(d);
            } catch (...) {
                const std::lock_guard held(lock);
                if (!failure)
                    failure = std::current_exception();
                stop = true;
            }
            changed.notify_all();
        }
    };
    std::vector<std::jthread> workers;
    // Declared after the workers, so gone before them: a failed write stops
    // them before they are joined.
    const OnLeaving stopOnLeaving{[&] {
        {
            const std::lock_guard held(lock);
            stop = true;
        }
        changed.notify_all();
    }};
    for (int t = 0; t < threads; ++t)
        workers.emplace_back(work);

    static constexpr std::uint8_t kZlibHeader[2] = {0x78, 0x9c}; // deflate, 32 KiB window, default level
    chunks.add(kZlibHeader, sizeof kZlibHeader);
    uLong adler = 1;
    for (int s = 0; s < stripes; ++s) {
        Deflated d;
        {
            std::unique_lock held(lock);
            changed.wait(held, [&] { return failure || done[static_cast<std::size_t>(s)]; });
            if (failure)
                std::rethrow_exception(failure);
            d = std::move(*done[static_cast<std::size_t>(s)]);
            done[static_cast<std::size_t>(s)].reset();
            ++written;
        }
        changed.notify_all();
        chunks.add(d.bytes.data(), d.bytes.size());
        adler = adler32_combine(adler, d.adler, static_cast<z_off_t>(d.length));
    }
    const std::uint8_t trailer[4] = {static_cast<std::uint8_t>(adler >> 24), static_cast<std::uint8_t>(adler >> 16),
                                     static_cast<std::uint8_t>(adler >> 8), static_cast<std::uint8_t>(adler)};
    chunks.add(trailer, sizeof trailer);
    chunks.finish();
}

void writePng(const SampledPicture &p, int fd) {
    PngWrite w;
    w.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (!w.png)
        throw std::bad_alloc();
    w.info = png_create_info_struct(w.png);
    if (!w.info)
        throw std::bad_alloc();
    png_set_write_fn(w.png, &fd, pngWriteBytes, pngFlush);
    png_set_option(w.png, PNG_SKIP_sRGB_CHECK_PROFILE, PNG_OPTION_ON);
    static constexpr int kTypes[] = {PNG_COLOR_TYPE_GRAY, PNG_COLOR_TYPE_GRAY_ALPHA, PNG_COLOR_TYPE_RGB,
                                     PNG_COLOR_TYPE_RGB_ALPHA};
    png_set_IHDR(w.png, w.info, static_cast<png_uint_32>(p.width), static_cast<png_uint_32>(p.height), p.bitDepth,
                 kTypes[p.channels - 1], PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const ColourSpace &c = p.colour;
    if (!c.iccProfile.empty())
        png_set_iCCP(w.png, w.info, c.iccName.c_str(), PNG_COMPRESSION_TYPE_BASE,
                     reinterpret_cast<png_const_bytep>(c.iccProfile.data()),
                     static_cast<png_uint_32>(c.iccProfile.size()));
    else if (c.srgbIntent)
        png_set_sRGB(w.png, w.info, *c.srgbIntent);
    if (c.gamma)
        png_set_gAMA_fixed(w.png, w.info, *c.gamma);
    if (c.chrm) {
        const auto &h = *c.chrm;
        png_set_cHRM_fixed(w.png, w.info, h[0], h[1], h[2], h[3], h[4], h[5], h[6], h[7]);
    }
    png_set_pHYs(w.png, w.info, kDotsPerMetre, kDotsPerMetre, PNG_RESOLUTION_METER);
    // libpng writes the header and the colour chunks; the image data is ours.
    png_write_info(w.png, w.info);
    IdatChunks chunks(w.png);
    writeImageData(p, chunks);
    static constexpr png_byte kIend[5] = {'I', 'E', 'N', 'D', 0};
    png_write_chunk(w.png, kIend, nullptr, 0);
}

// ---------------------------------------------------------------- TIFF

// libtiff's errors and warnings go to the handle's own handlers, never to
// the process-wide ones: the last error is kept for the refusal.
int tiffError(TIFF *, void *data, const char *, const char *format, va_list args) {
    char line[512];
    std::vsnprintf(line, sizeof line, format, args);
    *static_cast<std::string *>(data) = line;
    return 1;
}
int tiffWarning(TIFF *, void *, const char *, const char *, va_list) { return 1; }

struct TiffHandle {
    TIFF *tiff = nullptr;
    std::string error;
    ~TiffHandle() {
        if (tiff)
            TIFFClose(tiff);
    }
    bool open(int fd, const char *name, const char *mode) {
        TIFFOpenOptions *options = TIFFOpenOptionsAlloc();
        TIFFOpenOptionsSetErrorHandlerExtR(options, tiffError, &error);
        TIFFOpenOptionsSetWarningHandlerExtR(options, tiffWarning, nullptr);
        tiff = TIFFFdOpenExt(fd, name, mode, options);
        TIFFOpenOptionsFree(options);
        return tiff != nullptr;
    }
};

bool losslessTiffCompression(int c) {
    return c == COMPRESSION_NONE || c == COMPRESSION_LZW || c == COMPRESSION_ADOBE_DEFLATE ||
           c == COMPRESSION_DEFLATE || c == COMPRESSION_PACKBITS || c == COMPRESSION_ZSTD;
}

SampledPicture readTiff(int fd, const std::string &path) {
    TiffHandle t;
    // The handle owns what it is given: a copy of the descriptor.
    const int own = ::dup(fd);
    if (own < 0 || !t.open(own, path.c_str(), "rm")) {
        if (own >= 0 && !t.tiff)
            ::close(own);
        undecodable("TIFF (" + t.error + ")");
    }
    const auto why = [&](const std::string &what) { undecodable("TIFF for the seal (" + what + ")"); };
    if (TIFFNumberOfDirectories(t.tiff) > 1)
        why("it holds more than one picture");
    if (TIFFIsTiled(t.tiff))
        why("tiled; only TIFFs in strips are read as stored");
    std::uint32_t width = 0, height = 0;
    std::uint16_t bits = 0, spp = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, format = SAMPLEFORMAT_UINT,
                  compression = COMPRESSION_NONE;
    TIFFGetField(t.tiff, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(t.tiff, TIFFTAG_IMAGELENGTH, &height);
    TIFFGetFieldDefaulted(t.tiff, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(t.tiff, TIFFTAG_SAMPLESPERPIXEL, &spp);
    TIFFGetFieldDefaulted(t.tiff, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetFieldDefaulted(t.tiff, TIFFTAG_SAMPLEFORMAT, &format);
    TIFFGetFieldDefaulted(t.tiff, TIFFTAG_COMPRESSION, &compression);
    if (!TIFFGetField(t.tiff, TIFFTAG_PHOTOMETRIC, &photometric))
        why("no photometric interpretation");
    checkSize(width, height, "picture");
    if (bits != 8 && bits != 16)
        why(std::to_string(bits) + " bits a sample; 8 and 16 are read");
    if (format != SAMPLEFORMAT_UINT)
        why("samples that are not whole numbers");
    if (planar != PLANARCONFIG_CONTIG && spp > 1)
        why("its channels in separate planes");
    const bool grey = photometric == PHOTOMETRIC_MINISBLACK && (spp == 1 || spp == 2);
    const bool colour = photometric == PHOTOMETRIC_RGB && (spp == 3 || spp == 4);
    if (!grey && !colour)
        why("photometric " + std::to_string(photometric) + " with " + std::to_string(spp) +
            " samples a pixel; grey, grey and alpha, RGB and RGBA are read");

    SampledPicture p;
    p.width = static_cast<int>(width);
    p.height = static_cast<int>(height);
    p.channels = spp;
    p.bitDepth = bits;
    p.readAs = FileFormat::Tiff;
    p.tiffCompression = losslessTiffCompression(compression) ? compression : COMPRESSION_NONE;
    if (p.channels == 2 || p.channels == 4) {
        std::uint16_t count = 0;
        std::uint16_t *kinds = nullptr;
        if (!TIFFGetField(t.tiff, TIFFTAG_EXTRASAMPLES, &count, &kinds) || count != 1)
            why("an extra sample that is not an alpha");
        p.tiffExtraSample = kinds[0];
    }
    std::uint32_t profileLength = 0;
    void *profile = nullptr;
    if (TIFFGetField(t.tiff, TIFFTAG_ICCPROFILE, &profileLength, &profile) && profile)
        p.colour.iccProfile.assign(static_cast<const char *>(profile), profileLength);
    if (static_cast<std::size_t>(TIFFScanlineSize64(t.tiff)) != rowSize(p))
        why("an unexpected row length");
    for (int y = 0; y < p.height; ++y) {
        allocateRows(p, y + 1);
        if (TIFFReadScanline(t.tiff, rowBytes(p, y), static_cast<std::uint32_t>(y), 0) < 0)
            undecodable("TIFF (" + t.error + ")");
    }
    return p;
}

void writeTiff(const SampledPicture &p, int fd, const std::string &path) {
    TiffHandle t;
    const int own = ::dup(fd);
    if (own < 0 || !t.open(own, path.c_str(), "w")) {
        if (own >= 0 && !t.tiff)
            ::close(own);
        throw std::runtime_error(t.error);
    }
    TIFFSetField(t.tiff, TIFFTAG_IMAGEWIDTH, static_cast<std::uint32_t>(p.width));
    TIFFSetField(t.tiff, TIFFTAG_IMAGELENGTH, static_cast<std::uint32_t>(p.height));
    TIFFSetField(t.tiff, TIFFTAG_BITSPERSAMPLE, static_cast<std::uint16_t>(p.bitDepth));
    TIFFSetField(t.tiff, TIFFTAG_SAMPLESPERPIXEL, static_cast<std::uint16_t>(p.channels));
    TIFFSetField(t.tiff, TIFFTAG_SAMPLEFORMAT, SAMPLEFORMAT_UINT);
    TIFFSetField(t.tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t.tiff, TIFFTAG_PHOTOMETRIC, p.channels >= 3 ? PHOTOMETRIC_RGB : PHOTOMETRIC_MINISBLACK);
    if (p.channels == 2 || p.channels == 4) {
        const std::uint16_t kind =
            p.readAs == FileFormat::Tiff ? static_cast<std::uint16_t>(p.tiffExtraSample) : EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(t.tiff, TIFFTAG_EXTRASAMPLES, 1, &kind);
    }
    const int compression = p.readAs == FileFormat::Tiff ? p.tiffCompression : COMPRESSION_NONE;
    TIFFSetField(t.tiff, TIFFTAG_COMPRESSION, compression);
    if (compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
        compression == COMPRESSION_DEFLATE || compression == COMPRESSION_ZSTD)
        TIFFSetField(t.tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(t.tiff, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(t.tiff, 0));
    TIFFSetField(t.tiff, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(t.tiff, TIFFTAG_XRESOLUTION, 96.0f);
    TIFFSetField(t.tiff, TIFFTAG_YRESOLUTION, 96.0f);
    if (!p.colour.iccProfile.empty())
        TIFFSetField(t.tiff, TIFFTAG_ICCPROFILE, static_cast<std::uint32_t>(p.colour.iccProfile.size()),
                     p.colour.iccProfile.data());
    // libtiff's predictor works on the row it is given: a copy each.
    std::vector<std::uint8_t> row(rowSize(p));
    for (int y = 0; y < p.height; ++y) {
        std::memcpy(row.data(), rowBytes(p, y), row.size());
        if (TIFFWriteScanline(t.tiff, row.data(), static_cast<std::uint32_t>(y), 0) < 0)
            throw std::runtime_error(t.error);
    }
    if (!TIFFWriteDirectory(t.tiff))
        throw std::runtime_error(t.error);
    TIFF *done = std::exchange(t.tiff, nullptr);
    TIFFClose(done);
    if (!t.error.empty())
        throw std::runtime_error(t.error);
}

// ---------------------------------------------------------------- PPM/PGM

// The header of a Netpbm picture: P2, P3 (text) or P5, P6 (binary).
struct Netpbm {
    char kind = 0;
    long long width = 0, height = 0, maximum = 0;
};

long long headerNumber(std::istream &in) {
    for (;;) {
        const int c = in.peek();
        if (c == '#') {
            std::string comment;
            std::getline(in, comment);
        } else if (c == ' ' || c == '\t' || c == '\n' || c == '\r') {
            in.get();
        } else {
            break;
        }
    }
    long long v = -1;
    if (!(in >> v) || v < 0)
        undecodable("PPM/PGM (a damaged header)");
    return v;
}

SampledPicture readNetpbm(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    Netpbm h;
    in.get();
    h.kind = static_cast<char>(in.get());
    h.width = headerNumber(in);
    h.height = headerNumber(in);
    h.maximum = headerNumber(in);
    checkSize(h.width, h.height, "picture");
    if (h.maximum != 255 && h.maximum != 65535)
        undecodable("PPM/PGM for the seal (its maximum is " + std::to_string(h.maximum) +
                    "; 255 and 65535 are read as stored)");
    const bool text = h.kind == '2' || h.kind == '3';
    if (!text)
        in.get(); // the one blank after the maximum
    SampledPicture p;
    p.width = static_cast<int>(h.width);
    p.height = static_cast<int>(h.height);
    p.channels = h.kind == '3' || h.kind == '6' ? 3 : 1;
    p.bitDepth = h.maximum == 255 ? 8 : 16;
    p.readAs = p.channels == 3 ? FileFormat::Ppm : FileFormat::Pgm;
    const std::size_t n = p.samples();
    // A header is a few bytes: what it claims is believed only when the file
    // holds that many samples (a digit and a blank each, written as text), so
    // a short file never makes a picture-sized allocation.
    const std::streamoff at = in.tellg();
    in.seekg(0, std::ios::end);
    const std::streamoff left = in.tellg() - at;
    in.seekg(at);
    const auto needed = static_cast<std::streamoff>(text ? 2 * n - 1 : n * (p.bitDepth / 8));
    if (!in || at < 0 || left < needed)
        undecodable("PPM/PGM (truncated pixel data)");
    allocate(p);
    if (text) {
        for (std::size_t i = 0; i < n; ++i) {
            long long v = -1;
            if (!(in >> v) || v < 0 || v > h.maximum)
                undecodable("PPM/PGM (truncated or damaged samples)");
            if (p.bitDepth == 16)
                p.wide[i] = static_cast<std::uint16_t>(v);
            else
                p.narrow[i] = static_cast<std::uint8_t>(v);
        }
        return p;
    }
    if (p.bitDepth == 8) {
        in.read(reinterpret_cast<char *>(p.narrow.data()), static_cast<std::streamsize>(n));
    } else {
        in.read(reinterpret_cast<char *>(p.wide.data()), static_cast<std::streamsize>(n * 2));
        for (std::uint16_t &s : p.wide) { // big-endian in the file
            const auto *b = reinterpret_cast<const std::uint8_t *>(&s);
            s = static_cast<std::uint16_t>(b[0] << 8 | b[1]);
        }
    }
    if (!in)
        undecodable("PPM/PGM (truncated pixel data)");
    return p;
}

void writeNetpbm(const SampledPicture &p, int fd) {
    const std::string head = std::string(p.channels == 3 ? "P6" : "P5") + "\n" + std::to_string(p.width) + " " +
                             std::to_string(p.height) + "\n" + (p.bitDepth == 16 ? "65535" : "255") + "\n";
    if (!writeAll(fd, head))
        throw std::runtime_error(std::strerror(errno));
    std::vector<std::uint8_t> row(rowSize(p));
    for (int y = 0; y < p.height; ++y) {
        std::memcpy(row.data(), rowBytes(p, y), row.size());
        if (p.bitDepth == 16)
            for (std::size_t i = 0; i + 1 < row.size(); i += 2) {
                const std::uint16_t s = static_cast<std::uint16_t>(row[i] | row[i + 1] << 8);
                row[i] = static_cast<std::uint8_t>(s >> 8);
                row[i + 1] = static_cast<std::uint8_t>(s);
            }
        if (!writeAll(fd, {reinterpret_cast<const char *>(row.data()), row.size()}))
            throw std::runtime_error(std::strerror(errno));
    }
}

// ---------------------------------------------------------------- BMP

// Through Qt, whose allocation limit the program sets (the tool's main
// raises it for the seal); 8 bits a sample, always.
SampledPicture readBmp(const std::string &path) {
    QImageReader reader(QString::fromStdString(path), "bmp");
    reader.setAutoTransform(false);
    const QSize size = reader.size();
    if (size.isValid())
        checkSize(size.width(), size.height(), "bitmap");
    const QImage image = reader.read();
    if (image.isNull())
        undecodable("bitmap (" + reader.errorString().toStdString() + ")");
    SampledPicture p;
    p.width = image.width();
    p.height = image.height();
    p.readAs = FileFormat::Bmp;
    p.bitDepth = 8;
    p.channels = image.depth() <= 8 && image.isGrayscale() ? 1 : image.hasAlphaChannel() ? 4 : 3;
    allocate(p);
    // Line by line, so the picture is never held three times.
    const bool direct = image.format() == QImage::Format_RGB32 || image.format() == QImage::Format_ARGB32;
    const QImage words = direct ? image : image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < p.height; ++y) {
        const auto *from = reinterpret_cast<const QRgb *>(words.constScanLine(y));
        std::uint8_t *to = rowBytes(p, y);
        for (int x = 0; x < p.width; ++x) {
            const QRgb w = from[x];
            if (p.channels == 1) {
                *to++ = static_cast<std::uint8_t>(qRed(w));
                continue;
            }
            *to++ = static_cast<std::uint8_t>(qRed(w));
            *to++ = static_cast<std::uint8_t>(qGreen(w));
            *to++ = static_cast<std::uint8_t>(qBlue(w));
            if (p.channels == 4)
                *to++ = static_cast<std::uint8_t>(qAlpha(w));
        }
    }
    return p;
}

void writeBmp(const SampledPicture &p, const std::string &path, Durability durability) {
    Image image(p.width, p.height);
    for (int y = 0; y < p.height; ++y) {
        const std::uint8_t *s = rowBytes(p, y);
        for (int x = 0; x < p.width; ++x, s += p.channels)
            image.at(x, y) = p.channels == 1 ? rgb(s[0], s[0], s[0]) : rgb(s[0], s[1], s[2]);
    }
    PictureToWrite file{&image, path, p.channels == 1 ? PictureKind::Grey8 : PictureKind::Rgb24};
    file.format = FileFormat::Bmp;
    if (const auto saved = savePictures({file}, durability); !saved)
        throw Refused(saved.error().problem, saved.error().detail);
}

// ---------------------------------------------------------------- any

const char *channelWords(int channels) {
    static const char *const kWords[] = {"grey", "grey and alpha", "RGB", "RGBA"};
    return kWords[channels - 1];
}

SampledPicture readAny(const std::string &path) {
    std::FILE *file = std::fopen(path.c_str(), "rb");
    if (!file)
        throw Refused(FileProblem::Unreadable, std::strerror(errno));
    const std::unique_ptr<std::FILE, int (*)(std::FILE *)> closing(file, std::fclose);
    unsigned char head[8] = {};
    const std::size_t got = std::fread(head, 1, sizeof head, file);
    if (got == 0)
        throw Refused(FileProblem::Empty, "");
    std::rewind(file);
    if (got >= 8 && png_sig_cmp(head, 0, 8) == 0)
        return readPng(file);
    if (got >= 4 && ((head[0] == 'I' && head[1] == 'I' && head[2] == 42 && head[3] == 0) ||
                     (head[0] == 'M' && head[1] == 'M' && head[2] == 0 && head[3] == 42)))
        return readTiff(fileno(file), path);
    if (got >= 2 && head[0] == 'B' && head[1] == 'M')
        return readBmp(path);
    if (got >= 2 && head[0] == 'P' && (head[1] == '2' || head[1] == '3' || head[1] == '5' || head[1] == '6'))
        return readNetpbm(path);
    if (got >= 3 && head[0] == 0xff && head[1] == 0xd8 && head[2] == 0xff)
        undecodable("picture for the seal (a JPEG: its samples are already lossy; seal the lossless original)");
    throw Refused(FileProblem::NotPicture, "");
}

void encodeInto(const SampledPicture &p, FileFormat format, int fd, const std::string &path) {
    switch (format) {
    case FileFormat::Png:
        return writePng(p, fd);
    case FileFormat::Tiff:
        return writeTiff(p, fd, path);
    default:
        return writeNetpbm(p, fd);
    }
}

// The file's bytes in memory, through a memory file: libtiff seeks as it writes.
std::string encodedInMemory(const SampledPicture &p, FileFormat format, const std::string &path) {
    const int memory = ::memfd_create("ombrel-sealed", MFD_CLOEXEC);
    if (memory < 0)
        throw std::runtime_error(std::strerror(errno));
    const std::unique_ptr<int, void (*)(int *)> closing(new int(memory), [](int *fd) {
        ::close(*fd);
        delete fd;
    });
    encodeInto(p, format, memory, path);
    const off_t size = ::lseek(memory, 0, SEEK_END);
    std::string bytes(static_cast<std::size_t>(size), '\0');
    if (size < 0 || ::pread(memory, bytes.data(), bytes.size(), 0) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error(std::strerror(errno));
    return bytes;
}

} // namespace

std::string SampledPicture::layout() const {
    return std::string(channelWords(channels)) + ", " + std::to_string(bitDepth) + " bits a sample";
}

LoadedSamples loadSamples(const std::string &path) {
    LibraryNoise quiet;
    const QString name = QString::fromStdString(path);
    if (!QFileInfo::exists(name))
        return FileError{path, FileProblem::NoSuchFile};
    if (QFileInfo(name).isDir())
        return FileError{path, FileProblem::IsFolder};
    try {
        return readAny(path);
    } catch (const Refused &r) {
        return FileError{path, r.problem, r.what()};
    } catch (const std::bad_alloc &) {
        return FileError{path, FileProblem::Undecodable, "picture (out of memory)"};
    } catch (const std::exception &e) {
        return FileError{path, FileProblem::Undecodable, std::string("picture (") + e.what() + ")"};
    }
}

std::optional<std::string> layoutRefusal(const SampledPicture &p, FileFormat format) {
    const std::string is = "this picture is " + p.layout();
    switch (format) {
    case FileFormat::Bmp:
        if (p.bitDepth != 8 || p.hasAlpha())
            return "a BMP holds 8-bit grey or RGB without alpha, and " + is + "; name it .png or .tif";
        break;
    case FileFormat::Ppm:
        if (p.channels != 3)
            return "a PPM holds RGB, and " + is + (p.channels == 1 ? "; name it .pgm, .png or .tif"
                                                                    : "; name it .png or .tif");
        break;
    case FileFormat::Pgm:
        if (p.channels != 1)
            return "a PGM holds grey, and " + is + (p.channels == 3 ? "; name it .ppm, .png or .tif"
                                                                     : "; name it .png or .tif");
        break;
    case FileFormat::Png:
    case FileFormat::Tiff:
        break;
    }
    return std::nullopt;
}

Result<void, FileError> saveSamples(const SampledPicture &picture, const std::string &path, FileFormat format,
                                    Durability durability) {
    if (path.empty())
        return FileError{path, FileProblem::NoFileName};
    if (QFileInfo(QString::fromStdString(path)).isDir())
        return FileError{path, FileProblem::IsFolder};
    if (const auto why = layoutRefusal(picture, format))
        return FileError{path, FileProblem::Unwritable, *why};
    LibraryNoise quiet;
    try {
        if (format == FileFormat::Bmp) {
            writeBmp(picture, path, durability);
            return {};
        }
        FileReplacement file(path);
        if (file.openTemporary()) {
            encodeInto(picture, format, file.fd(), path);
        } else {
            // A folder that refuses new files: a writable file there is
            // rewritten in place, from bytes encoded whole beforehand, so a
            // failed encoding leaves it as it was.
            if (!file.targetWritable())
                return FileError{path, FileProblem::Unwritable, file.error()};
            const std::string bytes = encodedInMemory(picture, format, path);
            if (!file.openInPlace() || !file.write(bytes))
                return FileError{path, FileProblem::Unwritable, file.error()};
        }
        if (!file.commit(durability))
            return FileError{path, FileProblem::Unwritable, file.error()};
        return {};
    } catch (const Refused &r) {
        return FileError{path, r.problem, r.what()};
    } catch (const std::bad_alloc &) {
        return FileError{path, FileProblem::Unwritable, "out of memory"};
    } catch (const std::exception &e) {
        return FileError{path, FileProblem::Unwritable, e.what()};
    }
}

} // namespace ombrel
