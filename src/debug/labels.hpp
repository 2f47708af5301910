// Names for addresses, from the label files that the cc65 linker writes
// with -Ln: one "al 000200 .start" line per label.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class Labels {
public:
    // Adds the labels of `path`; "" when done, else a one-line message (and
    // nothing is added). `added` receives the number of labels read.
    std::string load(const char* path, std::size_t* added = nullptr);
    // Adds one label, as a line of the file gives it (leading dot and all).
    void add(std::string_view name, std::uint16_t address);

    // The name shown for `address`, or nullptr. Linker-made names (__X__)
    // are never shown: they sit on the same addresses as the program's own.
    [[nodiscard]] const char* name_at(std::uint16_t address) const;
    // The address of a name (with or without its dot).
    [[nodiscard]] std::optional<std::uint16_t> find(std::string_view name) const;
    [[nodiscard]] std::size_t size() const { return labels_.size(); }

private:
    struct Label {
        std::string name;  // without the dot
        std::uint16_t address;
    };
    std::vector<Label> labels_;
    std::vector<std::int32_t> shown_;  // per address: index into labels_, or -1
};
