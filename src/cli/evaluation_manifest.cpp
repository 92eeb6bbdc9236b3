// SPDX-License-Identifier: Apache-2.0
#include "cli/evaluation_manifest.h"

#include "cli/parse.h"

#include <sstream>
#include <string_view>

namespace ombrel::cli {

namespace {

constexpr std::string_view kFirstLine = "# ombrel evaluate: the run whose rows are in results.csv";

// A path on one line: a file name may hold a newline.
std::string escaped(const std::string &s) {
    std::string out;
    for (const char c : s) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::optional<std::string> unescaped(std::string_view s) {
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\') {
            out += s[i];
            continue;
        }
        if (++i == s.size())
            return std::nullopt;
        if (s[i] == '\\')
            out += '\\';
        else if (s[i] == 'n')
            out += '\n';
        else if (s[i] == 'r')
            out += '\r';
        else
            return std::nullopt;
    }
    return out;
}

template <class T, class F>
std::string joined(const std::vector<T> &items, F show) {
    std::string out;
    for (std::size_t i = 0; i < items.size(); ++i)
        out += (i ? "," : "") + show(items[i]);
    return out;
}

std::string thresholdsText(const std::vector<int> &t) {
    return joined(t, [](int v) { return std::to_string(v); });
}
std::string attacksText(const std::vector<std::string> &a) {
    return joined(a, [](const std::string &v) { return v; });
}

} // namespace

std::string manifestText(const RunManifest &m) {
    std::ostringstream text;
    text << kFirstLine << "\n"
         << "version " << m.version << "\n"
         << "watermark " << escaped(m.watermark) << "\n"
         << "thresholds " << thresholdsText(m.thresholds) << "\n"
         << "fit " << (m.fit ? "yes" : "no") << "\n"
         << "attacks " << attacksText(m.attacks) << "\n"
         << "key " << m.key << "\n"
         << "id " << escaped(m.id) << "\n"
         << "shard " << m.shardK << "/" << m.shardN << "\n"
         << "finished " << (m.finished ? "yes" : "no") << "\n"
         << "covers " << m.covers.size() << "\n";
    for (const std::string &c : m.covers)
        text << "cover " << escaped(c) << "\n";
    return text.str();
}

RunManifest parseManifest(const std::string &path, const std::string &text) {
    auto refuse = [&](const std::string &why) { return Refusal(path + ": not a manifest of a run: " + why); };
    std::istringstream in(text);
    std::string line;
    if (!std::getline(in, line) || line != kFirstLine)
        throw refuse("its first line is not \"" + std::string(kFirstLine) + "\"");
    RunManifest m;
    // The fields in the order they are written; each once.
    const std::vector<std::string_view> fields = {"version", "watermark", "thresholds", "fit", "attacks",
                                                  "key",     "id",        "shard",      "finished", "covers"};
    std::size_t coverCount = 0;
    for (std::string_view field : fields) {
        if (!std::getline(in, line) || !line.starts_with(std::string(field) + " "))
            throw refuse("no \"" + std::string(field) + "\" line where one belongs");
        const std::string value = line.substr(field.size() + 1);
        bool ok = true;
        if (field == "version") {
            m.version = value;
        } else if (field == "watermark" || field == "id") {
            const auto v = unescaped(value);
            ok = v.has_value();
            (field == "id" ? m.id : m.watermark) = v.value_or("");
        } else if (field == "thresholds") {
            std::istringstream list(value);
            for (std::string item; std::getline(list, item, ',');) {
                try {
                    std::size_t used = 0;
                    m.thresholds.push_back(std::stoi(item, &used));
                    ok = ok && used == item.size();
                } catch (const std::exception &) {
                    ok = false;
                }
            }
        } else if (field == "fit" || field == "finished") {
            ok = value == "yes" || value == "no";
            (field == "fit" ? m.fit : m.finished) = value == "yes";
        } else if (field == "attacks") {
            std::istringstream list(value);
            for (std::string item; std::getline(list, item, ',');)
                m.attacks.push_back(item);
        } else if (field == "key") {
            m.key = value;
        } else if (field == "shard") {
            const auto slash = value.find('/');
            try {
                m.shardK = std::stoi(value.substr(0, slash));
                m.shardN = std::stoi(value.substr(slash + 1));
                ok = slash != std::string::npos && m.shardK >= 1 && m.shardK <= m.shardN;
            } catch (const std::exception &) {
                ok = false;
            }
        } else if (field == "covers") {
            try {
                coverCount = std::stoul(value);
            } catch (const std::exception &) {
                ok = false;
            }
        }
        if (!ok)
            throw refuse("its \"" + std::string(field) + "\" line does not read");
    }
    while (std::getline(in, line)) {
        const auto cover = line.starts_with("cover ") ? unescaped(std::string_view(line).substr(6)) : std::nullopt;
        if (!cover)
            throw refuse("a line after the covers' count is no \"cover\" line");
        m.covers.push_back(*cover);
    }
    if (m.covers.size() != coverCount)
        throw refuse("it names " + std::to_string(m.covers.size()) + " covers, not " + std::to_string(coverCount));
    return m;
}

std::optional<std::string> settingsDiffer(const RunManifest &a, const RunManifest &b) {
    auto differ = [](std::string what, const std::string &x, const std::string &y) -> std::optional<std::string> {
        if (x == y)
            return std::nullopt;
        return what + " " + x + " and " + y;
    };
    auto yesNo = [](bool v) { return std::string(v ? "yes" : "no"); };
    for (auto d : {differ("version", a.version, b.version), differ("watermark", a.watermark, b.watermark),
                   differ("thresholds", thresholdsText(a.thresholds), thresholdsText(b.thresholds)),
                   differ("--fit", yesNo(a.fit), yesNo(b.fit)),
                   differ("attacks", attacksText(a.attacks), attacksText(b.attacks)),
                   differ("key", a.key, b.key), differ("id", a.id, b.id),
                   differ("shards", std::to_string(a.shardN), std::to_string(b.shardN)),
                   differ("covers", std::to_string(a.covers.size()), std::to_string(b.covers.size()))})
        if (d)
            return d;
    for (std::size_t i = 0; i < a.covers.size(); ++i)
        if (a.covers[i] != b.covers[i])
            return "cover " + std::to_string(i + 1) + " " + a.covers[i] + " and " + b.covers[i];
    return std::nullopt;
}

} // namespace ombrel::cli
