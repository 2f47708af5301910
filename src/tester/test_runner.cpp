#include "tester/test_runner.hpp"

#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>

#include "bus/devices.hpp"
#include "host/workers.hpp"
#include "tester/junit.hpp"

namespace tester {
namespace {
using nlohmann::json;
namespace fs = std::filesystem;

struct Item {
    std::size_t file = 0, test = 0;
};

struct Result {
    bool done = false;
    TestOutcome outcome;
    double seconds = 0;
};

// A folder of its own for each worker's data files, made the current one
// and emptied before each test: no test sees another's files, nor the
// user's. Removed when the worker is done.
class Scratch {
public:
    Scratch() {
        std::error_code error;
        home_ = fs::current_path(error);
        const fs::path temporary = fs::temp_directory_path(error);
        if (error) return;
        // A new folder of a name no one else has taken.
        std::random_device random;
        for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
            char name[32];
            std::snprintf(name, sizeof name, "emu6502-test-%08x", static_cast<unsigned>(random()));
            if (!fs::create_directory(temporary / name, error) || error) continue;
            fs::permissions(temporary / name, fs::perms::owner_all, error);  // the tests' files are the user's
            path_ = temporary / name;
        }
        if (!path_.empty()) fs::current_path(path_, error);
    }
    ~Scratch() {
        std::error_code ignored;
        if (!home_.empty()) fs::current_path(home_, ignored);
        if (!path_.empty()) fs::remove_all(path_, ignored);
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;
    [[nodiscard]] bool ok() const { return !path_.empty(); }
    // Emptied, when a test may have left files in it (it opened a data
    // file, or its setup wrote one).
    void next(bool may_have_files) {
        if (!may_have_files) return;
        std::error_code ignored;
        for (const auto& entry : fs::directory_iterator(path_, ignored)) fs::remove_all(entry.path(), ignored);
    }

private:
    fs::path path_;
    fs::path home_;
};

json to_json(std::size_t index, const Result& r) {
    return json{{"i", index},
                {"s", static_cast<int>(r.outcome.status)},
                {"f", r.outcome.failures},
                {"c", r.outcome.cycles},
                {"k", r.outcome.skip_reason},
                {"t", r.seconds}};
}

Result from_json(const json& j) {
    Result r;
    r.done = true;
    r.outcome.status = static_cast<Status>(j.at("s").get<int>());
    r.outcome.failures = j.at("f").get<std::vector<std::string>>();
    r.outcome.cycles = j.at("c").get<std::uint64_t>();
    r.outcome.skip_reason = j.at("k").get<std::string>();
    r.seconds = j.at("t").get<double>();
    return r;
}

// Runs the items of `worker` (every jobs-th from its own): each file's
// machine readied once, when its first test comes.
template <class Report>
void run_items(const LoadedFiles& loaded, const std::vector<Item>& items, std::size_t worker, unsigned jobs,
               FreshMemory fresh, TestWatch* watch, Report report) {
    Scratch scratch;
    std::optional<TestMachine> machine;
    std::size_t machine_file = SIZE_MAX;
    bool dirty = true;  // the scratch folder may hold a test's files
    for (std::size_t i = worker; i < items.size(); i += jobs) {
        const Item& item = items[i];
        const LoadedFile& file = loaded.files[item.file];
        const Test& test = file.file.tests[item.test];
        Result r;
        r.done = true;
        const auto started = std::chrono::steady_clock::now();
        if (!scratch.ok()) {
            r.outcome.status = Status::failed;
            r.outcome.failures.push_back("can't make a scratch folder for the tests' data files");
            report(i, std::move(r));
            continue;
        }
        if (machine_file != item.file) {
            scratch.next(true);
            machine.emplace(file, fresh, watch);
            machine_file = item.file;
        }
        if (!machine->error().empty()) {
            r.outcome.status = test.skip ? Status::skipped : Status::failed;
            r.outcome.skip_reason = test.skip.value_or("");
            if (!test.skip) r.outcome.failures.push_back(machine->error());
        } else {
            scratch.next(dirty);
            const std::uint64_t uses = data_file_uses();
            r.outcome = machine->run(test);
            dirty = data_file_uses() != uses || !test.setup.files.empty();
        }
        r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        report(i, std::move(r));
    }
}

void print_result(const LoadedFiles& loaded, const Item& item, const Result& r) {
    const LoadedFile& file = loaded.files[item.file];
    const std::string name = file.file.path + ": " + file.file.tests[item.test].name;
    switch (r.outcome.status) {
    case Status::passed:
        std::printf("PASS %s (%llu cycles)\n", name.c_str(), static_cast<unsigned long long>(r.outcome.cycles));
        break;
    case Status::skipped: std::printf("SKIP %s: %s\n", name.c_str(), r.outcome.skip_reason.c_str()); break;
    case Status::failed:
        std::printf("FAIL %s\n", name.c_str());
        // A failure may take several lines (a check's report and its calls).
        for (const std::string& failure : r.outcome.failures) {
            for (std::size_t at = 0; at <= failure.size();) {
                const std::size_t end = std::min(failure.find('\n', at), failure.size());
                std::printf("    %.*s\n", static_cast<int>(end - at), failure.c_str() + at);
                at = end + 1;
            }
        }
        break;
    }
    std::fflush(stdout);
}

// Workers in processes of their own, each sending a JSON line per test
// and, at the end, what the watch counted; results are printed as soon as
// all before them are in. False when the host starts no workers.
bool run_in_workers(const LoadedFiles& loaded, const std::vector<Item>& items, unsigned jobs, FreshMemory fresh,
                    TestWatch* watch, std::vector<Result>& results) {
    std::size_t printed = 0;
    std::size_t counted = 0;  // workers whose counts came
    const auto work = [&](unsigned w, std::FILE* out) {
        run_items(loaded, items, w, jobs, fresh, watch, [out](std::size_t i, Result r) {
            std::fprintf(out, "%s\n", to_json(i, r).dump().c_str());
            std::fflush(out);
        });
        // Last, what the watch counted over the worker's tests.
        if (watch != nullptr) std::fprintf(out, "%s\n", json{{"w", watch->worker_counts()}}.dump().c_str());
    };
    const auto heard = [&](unsigned, std::string_view line) {
        const json j = json::parse(line, nullptr, false);
        if (j.is_discarded() || !j.is_object()) return;
        if (j.contains("w")) {
            if (watch != nullptr && j["w"].is_string() && watch->add_worker_counts(j["w"].get<std::string>())) ++counted;
            return;
        }
        const std::size_t i = j.value("i", SIZE_MAX);
        if (i < results.size()) results[i] = from_json(j);
        while (printed < items.size() && results[printed].done) {
            print_result(loaded, items[printed], results[printed]);
            ++printed;
        }
    };
    const unsigned started = host_run_workers(jobs, work, heard);
    if (started == 0) return false;
    // A worker that died (or never started) took its tests with it: they fail, saying so.
    for (std::size_t i = printed; i < results.size(); ++i) {
        if (!results[i].done) {
            results[i].done = true;
            results[i].outcome.status = Status::failed;
            results[i].outcome.failures.push_back("the worker process running this test died");
        }
        print_result(loaded, items[i], results[i]);
    }
    if (watch != nullptr && counted != started) watch->counts_lost();
    return true;
}

}  // namespace

LoadedFiles load_test_files(const std::vector<std::string>& paths, const char* only) {
    LoadedFiles loaded;
    bool found = only == nullptr;
    for (const std::string& path : paths) {
        LoadedFile file = load_test_file(path);
        if (!file.error.empty()) {
            loaded.error = file.error;
            return loaded;
        }
        if (only != nullptr) {
            std::erase_if(file.file.tests, [only](const Test& t) { return t.name != only; });
            if (file.file.tests.empty()) continue;
            found = true;
        }
        loaded.files.push_back(std::move(file));
    }
    if (!found) loaded.error = std::string("no test is named '") + only + "'";
    return loaded;
}

int run_test_files(const LoadedFiles& loaded, const RunnerOptions& options, FreshMemory fresh) {
    std::vector<Item> items;
    for (std::size_t f = 0; f < loaded.files.size(); ++f)
        for (std::size_t t = 0; t < loaded.files[f].file.tests.size(); ++t) items.push_back({f, t});
    // Before the tests move into their scratch folders.
    const std::string junit = options.junit != nullptr ? fs::absolute(options.junit).string() : std::string();
    std::vector<Result> results(items.size());
    const unsigned jobs = std::max(1u, std::min<unsigned>(options.jobs, static_cast<unsigned>(items.size())));
    // One worker, or none could start: the tests run here.
    if (jobs == 1 || !run_in_workers(loaded, items, jobs, fresh, options.watch, results)) {
        run_items(loaded, items, 0, 1, fresh, options.watch, [&](std::size_t i, Result r) {
            results[i] = std::move(r);
            print_result(loaded, items[i], results[i]);
        });
    }
    std::size_t passed = 0, failed = 0, skipped = 0;
    for (const Result& r : results) {
        passed += r.outcome.status == Status::passed;
        failed += r.outcome.status == Status::failed;
        skipped += r.outcome.status == Status::skipped;
    }
    std::printf("%zu passed, %zu failed", passed, failed);
    if (skipped > 0) std::printf(", %zu skipped", skipped);
    std::printf("\n");
    std::fflush(stdout);

    if (options.junit != nullptr) {
        std::vector<JunitCase> cases;
        for (std::size_t i = 0; i < items.size(); ++i) {
            const LoadedFile& file = loaded.files[items[i].file];
            cases.push_back({file.file.path, file.file.tests[items[i].test].name, results[i].outcome, results[i].seconds});
        }
        if (!write_junit(junit, cases)) {
            std::fprintf(stderr, "emu6502: can't write JUnit file '%s'.\n", options.junit);
            return 1;
        }
    }
    return failed == 0 ? 0 : 1;
}

}  // namespace tester
