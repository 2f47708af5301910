// Names for addresses, from the label files that the cc65 linker writes
// with -Ln: one "al 000200 .start" line per label. Such a file is flat: the
// same local name ("@next") may stand at many addresses, so a name that
// several labels carry is refused with its candidates, and picked by
// qualification:
//   scope@local  a cheap local label ("@next") by the label it belongs to,
//                the nearest ordinary label at or below it from the same
//                file: "puts@next"
//   name@LINE    the label of that name on line LINE of its file:
//                "@next@17", "loop@40"
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct LabelFind {
    std::optional<std::uint16_t> address;
    bool ambiguous = false;
    std::string error;  // without an address: "unknown label 'x'" or the candidates
};

class Labels {
public:
    // Reads the labels of `path`, which replace those read before from the
    // same file; "" when done, else a one-line message (and nothing
    // changes). Only a regular file is read: a FIFO or a device is refused,
    // never waited on. `added` receives the number of labels read,
    // `replaced` the number of the file's earlier labels dropped.
    // `keep`, when given, picks the names taken (without their dot).
    std::string load(const char* path, std::size_t* added = nullptr, std::size_t* replaced = nullptr,
                     const std::function<bool(std::string_view)>& keep = nullptr);
    // Adds one label, as a line of the file gives it (leading dot and all),
    // from no file.
    void add(std::string_view name, std::uint16_t address);
    // Drops every label; or those of one file. Returns how many went.
    std::size_t clear();
    std::size_t clear(const char* path);

    // The name shown for `address`, or nullptr. Linker-made names (__X__)
    // are never shown: they sit on the same addresses as the program's own.
    // Control characters in names are kept written as \xNN.
    [[nodiscard]] const char* name_at(std::uint16_t address) const;
    // The address of a name (with or without its dot), or a qualified name.
    [[nodiscard]] LabelFind lookup(std::string_view name) const;
    [[nodiscard]] std::optional<std::uint16_t> find(std::string_view name) const { return lookup(name).address; }
    [[nodiscard]] std::size_t size() const { return labels_.size(); }

private:
    struct Label {
        std::string name;  // without the dot
        std::uint16_t address;
        std::int32_t source;  // index into sources_; -1 for add()
        std::int32_t line;    // in its file
        std::int32_t scope;   // a cheap local's owner's address, else -1
    };
    std::vector<Label> labels_;
    std::vector<std::string> sources_;  // each file, as a key
    std::vector<std::int32_t> shown_;   // per address: index into labels_, or -1

    void show();
    [[nodiscard]] std::vector<std::size_t> matches(std::string_view name) const;
    [[nodiscard]] std::string qualified(std::size_t index) const;
    std::size_t drop_source(std::int32_t source);
};

// The label at `address`, else the nearest one below it within a page
// ("pushax+3"); "" when there is none.
[[nodiscard]] std::string nearest_label(const Labels& labels, std::uint16_t address);
