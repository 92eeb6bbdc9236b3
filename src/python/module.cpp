// SPDX-License-Identifier: Apache-2.0
// `import ombrel`: the C++ API on numpy arrays.

#include "api/ombrel.h"
#include "text/version.h"

#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <climits>
#include <cstring>
#include <sstream>

namespace py = pybind11;

namespace {

using Bytes = py::array_t<std::uint8_t, py::array::c_style>;

std::string describe(const py::array &a) {
    std::ostringstream s;
    s << py::str(a.dtype()).cast<std::string>() << "[";
    for (py::ssize_t i = 0; i < a.ndim(); ++i)
        s << (i ? ", " : "") << a.shape(i);
    s << "]";
    return s.str();
}

// An array of one of the given shapes (rows, columns[, channels]); a
// non-contiguous one is copied. A wrong shape or dtype names what was expected.
Bytes checked(const py::array &a, const char *what, int rows, int columns, bool greyAllowed,
              bool colourAllowed) {
    const bool grey = a.ndim() == 2;
    const bool shapeOk = a.ndim() >= 2 && a.shape(0) == rows && a.shape(1) == columns &&
                         ((grey && greyAllowed) ||
                          (a.ndim() == 3 && a.shape(2) == 3 && colourAllowed));
    if (!shapeOk || !a.dtype().is(py::dtype::of<std::uint8_t>())) {
        std::ostringstream s;
        s << what << " must be ";
        if (greyAllowed)
            s << "uint8[" << rows << ", " << columns << "]";
        if (greyAllowed && colourAllowed)
            s << " or ";
        if (colourAllowed)
            s << "uint8[" << rows << ", " << columns << ", 3]";
        s << ", not " << describe(a);
        throw py::value_error(s.str());
    }
    return Bytes::ensure(a);
}

// Any size, same for both, grey or colour.
Bytes picture(const py::array &a, const char *what) {
    if (!a.dtype().is(py::dtype::of<std::uint8_t>()) ||
        !(a.ndim() == 2 || (a.ndim() == 3 && a.shape(2) == 3)))
        throw py::value_error(std::string(what) + " must be uint8[height, width] or " +
                              "uint8[height, width, 3], not " + describe(a));
    return Bytes::ensure(a);
}

ombrel::PixelView view(const Bytes &a) {
    return {a.data(), static_cast<int>(a.shape(1)), static_cast<int>(a.shape(0)),
            a.ndim() == 3 ? 3 : 1};
}

// Hands the result's buffer to numpy without a copy.
py::array toArray(ombrel::Pixels &&p) {
    auto *bytes = new std::vector<std::uint8_t>(std::move(p.data));
    py::capsule owner(bytes, [](void *b) { delete static_cast<std::vector<std::uint8_t> *>(b); });
    std::vector<py::ssize_t> shape{p.height, p.width};
    if (p.channels == 3)
        shape.push_back(3);
    return Bytes(shape, bytes->data(), owner);
}

// key (bytes or None) and image_id as the C++ API's Key; an id without a
// key would bind nothing, so it is refused rather than ignored.
std::optional<ombrel::Key> keyOf(const std::optional<py::bytes> &key, const std::string &imageId) {
    if (!key) {
        if (!imageId.empty())
            throw py::value_error("image_id names a keyed mark: give key too");
        return std::nullopt;
    }
    const std::string_view secret = *key;
    return ombrel::Key{{secret.begin(), secret.end()}, imageId};
}

const ombrel::Key *orNull(const std::optional<ombrel::Key> &key) { return key ? &*key : nullptr; }

py::array embed(const py::array &coverArray, const py::array &watermarkArray, int threshold,
                const std::optional<py::bytes> &keyBytes, const std::string &imageId) {
    const Bytes cover = checked(coverArray, "cover", 768, 1024, false, true);
    const Bytes watermark = checked(watermarkArray, "watermark", 512, 512, true, true);
    const auto key = keyOf(keyBytes, imageId);
    ombrel::Pixels marked;
    {
        py::gil_scoped_release unlocked;
        marked = ombrel::mark(view(cover), view(watermark), threshold, orNull(key));
    }
    return toArray(std::move(marked));
}

py::array extract(const py::array &imageArray, const std::optional<py::bytes> &keyBytes,
                  const std::string &imageId) {
    const Bytes image = checked(imageArray, "image", 768, 1024, false, true);
    const auto key = keyOf(keyBytes, imageId);
    ombrel::Pixels mark;
    {
        py::gil_scoped_release unlocked;
        mark = ombrel::extract(view(image), orNull(key));
    }
    return toArray(std::move(mark));
}

template <double (*measure)(ombrel::PixelView, ombrel::PixelView)>
double compare(const py::array &aArray, const py::array &bArray) {
    const Bytes a = picture(aArray, "a");
    const Bytes b = picture(bArray, "b");
    py::gil_scoped_release unlocked;
    return measure(view(a), view(b));
}

ombrel::VerifyReport verify(const py::array &imageArray, const py::array &watermarkArray,
                           int threshold, const std::optional<py::bytes> &keyBytes,
                           const std::string &imageId) {
    const Bytes image = checked(imageArray, "image", 768, 1024, false, true);
    const Bytes watermark = checked(watermarkArray, "watermark", 512, 512, true, true);
    const auto key = keyOf(keyBytes, imageId);
    py::gil_scoped_release unlocked;
    return ombrel::verify(view(image), view(watermark), threshold, orNull(key));
}

py::object box(const ombrel::VerifyReport &r) {
    if (!r.alteredBox)
        return py::none();
    const auto &b = *r.alteredBox;
    return py::make_tuple(b.left, b.top, b.right, b.bottom);
}

// The altered blocks as bool[rows, columns], a copy the report does not own.
py::array blocks(const ombrel::VerifyReport &r) {
    py::array_t<bool> out({r.blocksDown, r.blocksAcross});
    bool *p = out.mutable_data();
    for (std::size_t i = 0; i < r.alteredBlocks.size(); ++i)
        p[i] = r.alteredBlocks[i] != 0;
    return out;
}

// The seal's pictures: uint8 or uint16 arrays of (height, width) or
// (height, width, 1..4), copied to row order where they are not in it.
struct SealArray {
    py::array array;
    int width, height, channels, bitDepth;
};

SealArray sealArray(const py::array &a) {
    const bool wide = a.dtype().is(py::dtype::of<std::uint16_t>());
    const bool shapeOk = a.ndim() == 2 || (a.ndim() == 3 && a.shape(2) >= 1 && a.shape(2) <= 4);
    if (!(wide || a.dtype().is(py::dtype::of<std::uint8_t>())) || !shapeOk)
        throw py::value_error("image must be uint8 or uint16 [height, width] or [height, width, 1..4], not " +
                              describe(a));
    if (a.shape(0) > INT_MAX || a.shape(1) > INT_MAX)
        throw py::value_error("image is too large: " + describe(a));
    py::array rows = wide ? py::array(py::array_t<std::uint16_t, py::array::c_style>::ensure(a))
                          : py::array(Bytes::ensure(a));
    return {rows, static_cast<int>(a.shape(1)), static_cast<int>(a.shape(0)),
            a.ndim() == 3 ? static_cast<int>(a.shape(2)) : 1, wide ? 16 : 8};
}

ombrel::Key sealKey(const py::bytes &key, const std::string &imageId) {
    const std::string_view secret = key;
    return ombrel::Key{{secret.begin(), secret.end()}, imageId};
}

py::array seal(const py::array &image, const py::bytes &keyBytes, const std::string &imageId, int threads) {
    const SealArray in = sealArray(image);
    const ombrel::Key key = sealKey(keyBytes, imageId);
    // A copy of the samples, sealed where it lies: numpy owns the result.
    py::array out = py::array(in.array.dtype(), std::vector<py::ssize_t>(in.array.shape(), in.array.shape() + in.array.ndim()));
    std::memcpy(out.mutable_data(), in.array.data(), static_cast<std::size_t>(in.array.nbytes()));
    {
        py::gil_scoped_release unlocked;
        ombrel::SampleSpan span;
        span.data = out.mutable_data();
        span.width = in.width;
        span.height = in.height;
        span.channels = in.channels;
        span.bitDepth = in.bitDepth;
        ombrel::sealInPlace(span, key, threads);
    }
    return out;
}

ombrel::CheckReport check(const py::array &image, const py::bytes &keyBytes, const std::string &imageId,
                          int threads) {
    const SealArray in = sealArray(image);
    const ombrel::Key key = sealKey(keyBytes, imageId);
    ombrel::SampleView view;
    view.data = in.array.data();
    view.width = in.width;
    view.height = in.height;
    view.channels = in.channels;
    view.bitDepth = in.bitDepth;
    py::gil_scoped_release unlocked;
    return ombrel::check(view, key, threads);
}

py::object tupleOf(const std::optional<ombrel::CheckReport::Box> &b) {
    if (!b)
        return py::none();
    return py::make_tuple(b->left, b->top, b->right, b->bottom);
}

// The altered units as bool[units down, units across], a copy.
py::array units(const ombrel::CheckReport &r) {
    py::array_t<bool> out({r.unitsDown, r.unitsAcross});
    bool *p = out.mutable_data();
    for (std::size_t i = 0; i < r.alteredUnits.size(); ++i)
        p[i] = r.alteredUnits[i] != 0;
    return out;
}

void defineSeal(py::module_ &m) {
    py::class_<ombrel::CheckReport>(m, "CheckReport", "What check found; intact when every unit holds its tag.")
        .def_readonly("intact", &ombrel::CheckReport::intact)
        .def_readonly("no_unit_matches", &ombrel::CheckReport::noUnitMatches,
                      "every unit fails: not sealed with this key, id and size, or replaced whole")
        .def_readonly("units_checked", &ombrel::CheckReport::unitsChecked)
        .def_readonly("units_altered", &ombrel::CheckReport::unitsAltered)
        .def_property_readonly("box", [](const ombrel::CheckReport &r) { return tupleOf(r.alteredBox); },
                               "(left, top, right, bottom) in pixels, inclusive, around the altered "
                               "units; None when intact")
        .def_property_readonly("units", &units,
                               "bool[units down, units across]: True for each altered unit")
        .def(
            "unit_box",
            [](const ombrel::CheckReport &r, int ux, int uy) {
                if (ux < 0 || uy < 0 || ux >= r.unitsAcross || uy >= r.unitsDown)
                    throw py::index_error("no unit (" + std::to_string(ux) + ", " + std::to_string(uy) + ")");
                return tupleOf(r.unitBox(ux, uy));
            },
            py::arg("ux"), py::arg("uy"), "(left, top, right, bottom) of unit (ux, uy), inclusive")
        .def("__repr__", [](const ombrel::CheckReport &r) {
            std::ostringstream s;
            s << "<CheckReport " << (r.noUnitMatches ? "no unit matches" : r.intact ? "intact" : "altered")
              << ": " << r.unitsAltered << " of " << r.unitsChecked << " units altered>";
            return s.str();
        });
    m.def("seal", &seal, py::arg("image"), py::kw_only(), py::arg("key"), py::arg("image_id") = "",
          py::arg("threads") = 0,
          "Seals image (uint8 or uint16 [height, width] or [height, width, 1..4]: grey, grey and "
          "alpha, RGB, RGBA) of any size to key (bytes, at least 16) and image_id: every 8x8 unit "
          "gets a keyed tag in the lowest bit of one colour sample per pixel; alpha is never "
          "written. Returns the sealed copy, of the same shape and dtype.");
    m.def("check", &check, py::arg("image"), py::kw_only(), py::arg("key"), py::arg("image_id") = "",
          py::arg("threads") = 0,
          "Checks every unit of a sealed image (as for seal) against its tag. Returns a CheckReport.");
}

} // namespace

PYBIND11_MODULE(ombrel, m) {
    m.doc() = "Hides a 512x512 grey watermark in a 1024x768 colour image and extracts it "
              "again, bit for bit as the ombrel command-line tool does.";
    m.attr("__version__") = OMBREL_VERSION;
    // The core's refusals carry the tool's own words, and the C++ code's name
    // as .code, to branch on without reading the words.
    static py::exception<ombrel::Error> error(m, "Error", PyExc_ValueError);
    py::register_exception_translator([](std::exception_ptr thrown) {
        try {
            if (thrown)
                std::rethrow_exception(thrown);
        } catch (const ombrel::Error &e) {
            py::object raised = py::reinterpret_borrow<py::object>(error.ptr())(e.what());
            raised.attr("code") = ombrel::codeName(e.code());
            PyErr_SetObject(error.ptr(), raised.ptr());
        }
    });

    m.def("embed", &embed, py::arg("cover"), py::arg("watermark"), py::arg("threshold") = 0,
          py::arg("key") = py::none(), py::arg("image_id") = "",
          "Hides watermark (uint8[512, 512], or uint8[512, 512, 3] with equal channels) in "
          "cover (uint8[768, 1024, 3]); coefficients below threshold (-255..255) are dropped. "
          "With key (bytes, at least 16), the mark is keyed to it and to image_id, a name of "
          "the image's own. Returns the watermarked uint8[768, 1024, 3].");
    m.def("extract", &extract, py::arg("image"), py::arg("key") = py::none(),
          py::arg("image_id") = "",
          "The watermark hidden in image (uint8[768, 1024, 3]), as uint8[512, 512]; a keyed "
          "mark needs its key and image_id.");
    m.def("psnr", &compare<&ombrel::psnr>, py::arg("a"), py::arg("b"),
          "Peak signal-to-noise ratio in dB of the BT.601 grey values of two arrays of the same "
          "height and width (grey or RGB); inf when they are equal.");
    m.def("ssim", &compare<&ombrel::ssim>, py::arg("a"), py::arg("b"),
          "Structural similarity (11x11 Gaussian window, sigma 1.5) of the BT.601 grey values "
          "of two arrays of the same height and width (grey or RGB), at least 11x11.");

    py::class_<ombrel::VerifyReport>(m, "VerifyReport",
                                     "What verify found; intact when no carried bit differs.")
        .def_readonly("intact", &ombrel::VerifyReport::intact)
        .def_readonly("no_block_matches", &ombrel::VerifyReport::noBlockMatches,
                      "every checked block fails: not sealed with this key and id, or replaced whole")
        .def_readonly("bits_compared", &ombrel::VerifyReport::bitsCompared)
        .def_readonly("bits_differing", &ombrel::VerifyReport::bitsDiffering)
        .def_readonly("pixels_differing", &ombrel::VerifyReport::pixelsDiffering)
        .def_readonly("blocks_checked", &ombrel::VerifyReport::blocksChecked)
        .def_readonly("blocks_altered", &ombrel::VerifyReport::blocksAltered)
        .def_property_readonly("box", &box,
                               "(left, top, right, bottom) in pixels, inclusive, around the "
                               "altered 8x8 blocks; None when intact")
        .def_property_readonly("blocks", &blocks,
                               "bool[96, 128]: True for each 8x8 block a change can be in: one "
                               "holding a differing bit and, keyed, the top-corner blocks hashed with it")
        // Pickles, so reports cross to other processes (multiprocessing, Dask).
        .def(py::pickle(
            [](const ombrel::VerifyReport &r) {
                const auto &b = r.alteredBlocks;
                return py::make_tuple(r.intact, r.noBlockMatches, r.bitsCompared, r.bitsDiffering,
                                      r.pixelsDiffering, r.blocksChecked, r.blocksAltered, box(r),
                                      r.blocksAcross, r.blocksDown,
                                      py::bytes(reinterpret_cast<const char *>(b.data()), b.size()));
            },
            [](const py::tuple &t) {
                if (t.size() != 11)
                    throw py::value_error("not the state of a VerifyReport");
                ombrel::VerifyReport r;
                r.intact = t[0].cast<bool>();
                r.noBlockMatches = t[1].cast<bool>();
                r.bitsCompared = t[2].cast<long long>();
                r.bitsDiffering = t[3].cast<long long>();
                r.pixelsDiffering = t[4].cast<long long>();
                r.blocksChecked = t[5].cast<int>();
                r.blocksAltered = t[6].cast<int>();
                if (!t[7].is_none()) {
                    const auto b = t[7].cast<std::tuple<int, int, int, int>>();
                    r.alteredBox = ombrel::VerifyReport::Box{std::get<0>(b), std::get<1>(b),
                                                             std::get<2>(b), std::get<3>(b)};
                }
                r.blocksAcross = t[8].cast<int>();
                r.blocksDown = t[9].cast<int>();
                const std::string blocks = t[10].cast<std::string>();
                if (blocks.size() != static_cast<std::size_t>(r.blocksAcross) * r.blocksDown)
                    throw py::value_error("not the state of a VerifyReport");
                r.alteredBlocks.assign(blocks.begin(), blocks.end());
                return r;
            }))
        .def("__repr__", [](const ombrel::VerifyReport &r) {
            std::ostringstream s;
            s << "<VerifyReport " << (r.noBlockMatches ? "no block matches" : r.intact ? "intact" : "altered")
              << ": "
              << r.bitsDiffering << " of " << r.bitsCompared << " bits differ, "
              << r.blocksAltered << " of " << r.blocksChecked << " blocks altered>";
            return s.str();
        });
    m.def("verify", &verify, py::arg("image"), py::arg("watermark"), py::arg("threshold") = 0,
          py::arg("key") = py::none(), py::arg("image_id") = "",
          "Checks whether image (uint8[768, 1024, 3]) still carries watermark (as for embed), "
          "embedded at threshold (and with key and image_id), bit for bit. Returns a "
          "VerifyReport.");
    m.def("nc", &compare<&ombrel::nc>, py::arg("a"), py::arg("b"),
          "Normalised correlation of the BT.601 grey values of two arrays of the same height "
          "and width (grey or RGB).");
    m.def("id_from_name", &ombrel::idFromName, py::arg("path"),
          "The id the tool gives a picture under --id-from-name: its file name without the "
          "extension.");
    m.def(
        "key_from_passphrase",
        [](const std::string &passphrase) {
            std::vector<std::uint8_t> key;
            {
                const py::gil_scoped_release free;
                key = ombrel::keyFromPassphrase(passphrase);
            }
            return py::bytes(reinterpret_cast<const char *>(key.data()), key.size());
        },
        py::arg("passphrase"),
        "The 32-byte key of a passphrase (str, taken as UTF-8), as the tool's --passphrase-file "
        "makes it: Argon2id, about a second and 256 MiB. Python's own copies of the passphrase and "
        "the key cannot be wiped.");
    defineSeal(m);
}
