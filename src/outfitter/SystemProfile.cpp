#include "outfitter/SystemProfile.h"

#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <map>
#include <sstream>

#include "keel/FileManager.h"
#include "keel/JSON.h"
#include "keel/JSONLimits.h"
#include "keel/UserSettings.h"
#include "outfitter/JournalReader.h"

namespace fs = std::filesystem;

namespace outfitter {

namespace {

const std::string kUnknown = "Unknown";

// `absolute` ("/proc/cpuinfo") under the sources' root folder.
fs::path under(const SystemSources& sources, std::string_view absolute) {
    return sources.root / fs::path(absolute).relative_path();
}

std::optional<std::string> readText(const fs::path& path, std::size_t maximum = 1024 * 1024) {
    try {
        return keel::readBoundedFile(path, maximum);
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

std::string trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(std::string_view(" \t\r\n\0", 5));
    return std::string(text.substr(first, last - first + 1));
}

std::optional<std::string> readLine(const fs::path& path) {
    auto text = readText(path);
    if (!text) return std::nullopt;
    // Device-tree strings end with a NUL byte.
    std::string value = trimmed(text->substr(0, text->find('\0')));
    if (value.empty()) return std::nullopt;
    return value;
}

std::string printed(const char* format, auto... values) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, values...);
    return buffer;
}

// The number of CPUs in a list such as "0-3,6,8-9".
std::optional<unsigned long> countOfCPUList(const std::string& list) {
    unsigned long count = 0;
    std::stringstream stream(list);
    std::string range;
    while (std::getline(stream, range, ',')) {
        unsigned long first = 0;
        unsigned long last = 0;
        if (std::sscanf(range.c_str(), "%lu-%lu", &first, &last) == 2 && last >= first) {
            count += last - first + 1;
        } else if (std::sscanf(range.c_str(), "%lu", &first) == 1) {
            count += 1;
        } else {
            return std::nullopt;
        }
    }
    if (count == 0) return std::nullopt;
    return count;
}

std::map<std::string, std::string> parseOsRelease(const std::string& text) {
    std::map<std::string, std::string> fields;
    std::stringstream stream(text);
    std::string line;
    while (std::getline(stream, line)) {
        const auto equals = line.find('=');
        if (line.empty() || line[0] == '#' || equals == std::string::npos) continue;
        std::string value = trimmed(std::string_view(line).substr(equals + 1));
        if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
            value.back() == value.front()) {
            const char quote = value.front();
            std::string unquoted;
            for (std::size_t i = 1; i + 1 < value.size(); ++i) {
                if (quote == '"' && value[i] == '\\' && i + 2 < value.size()) ++i;
                unquoted.push_back(value[i]);
            }
            value = std::move(unquoted);
        }
        fields[trimmed(std::string_view(line).substr(0, equals))] = std::move(value);
    }
    return fields;
}

// A size the way file managers show it: decimal units.
std::string formattedByteCount(unsigned long long bytes) {
    if (bytes < 1000) return printed("%llu bytes", bytes);
    static const char* const kUnits[] = {"KB", "MB", "GB", "TB", "PB"};
    double value = static_cast<double>(bytes) / 1000;
    std::size_t unit = 0;
    while (value >= 1000 && unit + 1 < std::size(kUnits)) {
        value /= 1000;
        ++unit;
    }
    const int decimals = unit == 0 ? 0 : unit == 1 ? 1 : 2;
    return printed("%.*f %s", decimals, value, kUnits[unit]);
}

std::string localTimeText(keel::Date date) {
    const std::time_t seconds = static_cast<std::time_t>(date.timeIntervalSince1970());
    std::tm parts{};
    if (!localtime_r(&seconds, &parts)) return "?";
    char buffer[64];
    std::strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S", &parts);
    return buffer;
}

// The names pci.ids gives a vendor and a device, "Vendor Device"; the IDs
// ("8086:3e9b") when the list does not know them.
std::string graphicsCardName(const SystemSources& sources, const std::string& vendor,
                             const std::string& device) {
    const std::string ids = vendor + ":" + device;
    std::optional<std::string> list = readText(under(sources, "/usr/share/misc/pci.ids"), 64 << 20);
    if (!list) list = readText(under(sources, "/usr/share/hwdata/pci.ids"), 64 << 20);
    if (!list) return ids;
    std::stringstream stream(*list);
    std::string line;
    std::string vendorName;
    while (std::getline(stream, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] != '\t') {
            if (!vendorName.empty()) break;  // the vendor's devices are over
            if (line.size() > 6 && line.compare(0, 4, vendor) == 0 && line[4] == ' ')
                vendorName = trimmed(std::string_view(line).substr(4));
        } else if (!vendorName.empty() && line.size() > 7 && line[1] != '\t' &&
                   line.compare(1, 4, device) == 0 && line[5] == ' ') {
            return vendorName + " " + trimmed(std::string_view(line).substr(5));
        }
    }
    return vendorName.empty() ? ids : vendorName + " [" + ids + "]";
}

std::string lowerHexID(std::string text) {
    text = trimmed(text);
    if (text.rfind("0x", 0) == 0) text.erase(0, 2);
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

template <class F>
const std::string& cached(std::optional<std::string>& slot, F compute) {
    if (!slot) slot = compute();
    return *slot;
}

}  // namespace

SystemProfile::SystemProfile(SystemSources sources, BundleInfo bundle)
    : consoleLogDate{keel::Date::now().timeIntervalSinceReferenceDate - 24 * 60 * 60},
      sources_(std::move(sources)),
      bundle_(std::move(bundle)) {}

const std::string& SystemProfile::cpuinfo() {
    if (!cpuinfo_) cpuinfo_ = readText(under(sources_, "/proc/cpuinfo"), 16 << 20).value_or("");
    return *cpuinfo_;
}

// The value of the first "key : value" line of /proc/cpuinfo with that key.
std::optional<std::string> SystemProfile::cpuinfoValue(const std::string& key) {
    std::stringstream stream(cpuinfo());
    std::string line;
    while (std::getline(stream, line)) {
        const auto colon = line.find(':');
        if (colon == std::string::npos) continue;
        if (trimmed(std::string_view(line).substr(0, colon)) == key)
            return trimmed(std::string_view(line).substr(colon + 1));
    }
    return std::nullopt;
}

const std::string& SystemProfile::processName() {
    return cached(processName_, [&] {
        if (auto comm = readLine(under(sources_, "/proc/self/comm"))) return *comm;
        return bundle_.executable.value_or(kUnknown);
    });
}

const std::string& SystemProfile::systemVersion() {
    return cached(systemVersion_, [&] {
        const OperatingSystem system = operatingSystem(sources_);
        std::optional<std::string> kernelName =
            readLine(under(sources_, "/proc/sys/kernel/ostype"));
        std::optional<std::string> kernel = readLine(under(sources_, "/proc/sys/kernel/osrelease"));
        if (!kernel && sources_.root == "/") {
            struct utsname names {};
            if (::uname(&names) == 0) {
                kernelName = names.sysname;
                kernel = names.release;
            }
        }
        std::string text = system.prettyName;
        if (kernel) {
            if (!text.empty()) text += ", ";
            text += kernelName.value_or("Linux") + " " + *kernel;
        }
        return text.empty() ? kUnknown : text;
    });
}

const std::string& SystemProfile::langage() {
    return cached(langage_, [&] { return preferredLanguage(sources_).value_or(kUnknown); });
}

const std::string& SystemProfile::hardwareModel() {
    return cached(hardwareModel_, [&] {
        const auto vendor = readLine(under(sources_, "/sys/class/dmi/id/sys_vendor"));
        const auto product = readLine(under(sources_, "/sys/class/dmi/id/product_name"));
        if (product) {
            if (vendor && product->rfind(*vendor, 0) != 0) return *vendor + " " + *product;
            return *product;
        }
        for (const char* path : {"/sys/firmware/devicetree/base/model", "/proc/device-tree/model"})
            if (auto model = readLine(under(sources_, path))) return *model;
        return vendor.value_or(kUnknown);
    });
}

const std::string& SystemProfile::totalProcessors() {
    return cached(totalProcessors_, [&] {
        if (auto present = readLine(under(sources_, "/sys/devices/system/cpu/present")))
            if (auto count = countOfCPUList(*present)) return printed("%lu", *count);
        return CPUCount();
    });
}

const std::string& SystemProfile::activeProcessors() {
    return cached(activeProcessors_, [&] {
        if (auto online = readLine(under(sources_, "/sys/devices/system/cpu/online")))
            if (auto count = countOfCPUList(*online)) return printed("%lu", *count);
        return totalProcessors();
    });
}

const std::string& SystemProfile::totalMemory() {
    return cached(totalMemory_, [&] {
        std::stringstream stream(readText(under(sources_, "/proc/meminfo")).value_or(""));
        std::string line;
        while (std::getline(stream, line)) {
            long long kilobytes = 0;
            if (std::sscanf(line.c_str(), "MemTotal: %lld kB", &kilobytes) == 1)
                return printed("%lld mb", kilobytes / 1024);
        }
        return kUnknown;
    });
}

const std::string& SystemProfile::CPUis64bits() {
    return cached(CPUis64bits_, [&]() -> std::string {
        // The x86 flags tell whether the processor has the 64-bit mode...
        if (auto flags = cpuinfoValue("flags")) {
            std::stringstream stream(*flags);
            std::string flag;
            while (stream >> flag)
                if (flag == "lm") return "YES";
            return "NO";
        }
        // ...ARM processors give their architecture (8 and later are 64-bit)...
        if (auto architecture = cpuinfoValue("CPU architecture")) {
            int version = 0;
            if (std::sscanf(architecture->c_str(), "%d", &version) == 1)
                return version >= 8 ? "YES" : "NO";
        }
        // ...and the kernel its machine name.
        if (auto machine = readLine(under(sources_, "/proc/sys/kernel/arch")))
            return machine->find("64") != std::string::npos ? "YES" : "NO";
        return "NO";
    });
}

const std::string& SystemProfile::CPUModel() {
    return cached(CPUModel_, [&] {
        for (const char* key : {"model name", "Model", "Hardware", "cpu model", "cpu"})
            if (auto model = cpuinfoValue(key); model && !model->empty()) return *model;
        return kUnknown;
    });
}

const std::string& SystemProfile::CPUCount() {
    return cached(CPUCount_, [&] {
        unsigned long count = 0;
        std::stringstream stream(cpuinfo());
        std::string line;
        while (std::getline(stream, line)) {
            const auto colon = line.find(':');
            if (colon != std::string::npos &&
                trimmed(std::string_view(line).substr(0, colon)) == "processor")
                ++count;
        }
        if (count == 0 && sources_.root == "/") {
            const long configured = ::sysconf(_SC_NPROCESSORS_CONF);
            if (configured > 0) count = static_cast<unsigned long>(configured);
        }
        return count == 0 ? kUnknown : printed("%lu", count);
    });
}

const std::string& SystemProfile::CPUFrequency() {
    return cached(CPUFrequency_, [&] {
        if (auto kilohertz = readLine(
                under(sources_, "/sys/devices/system/cpu/cpu0/cpufreq/cpuinfo_max_freq"))) {
            double value = 0;
            if (std::sscanf(kilohertz->c_str(), "%lf", &value) == 1 && value > 0)
                return printed("%.0f MHz", value / 1000);
        }
        if (auto megahertz = cpuinfoValue("cpu MHz")) {
            double value = 0;
            if (std::sscanf(megahertz->c_str(), "%lf", &value) == 1 && value > 0)
                return printed("%.0f MHz", value);
        }
        return kUnknown;
    });
}

const std::string& SystemProfile::busFrequency() {
    return cached(busFrequency_, [] { return kUnknown; });
}

const std::vector<std::string>& SystemProfile::GPUModels() {
    if (GPUModels_) return *GPUModels_;
    GPUModels_.emplace();
    std::vector<fs::path> devices;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(under(sources_, "/sys/bus/pci/devices"), error))
        devices.push_back(entry.path());
    std::sort(devices.begin(), devices.end());  // by PCI address
    for (const auto& device : devices) {
        const auto deviceClass = readLine(device / "class");
        if (!deviceClass || lowerHexID(*deviceClass).rfind("03", 0) != 0) continue;
        const auto vendorID = readLine(device / "vendor");
        const auto deviceID = readLine(device / "device");
        if (!vendorID || !deviceID) continue;
        GPUModels_->push_back(
            graphicsCardName(sources_, lowerHexID(*vendorID), lowerHexID(*deviceID)));
    }
    return *GPUModels_;
}

void SystemProfile::readDiskSpace() {
    const fs::path home =
        sources_.home.empty() ? keel::FileManager::noSandboxHomeURL() : sources_.home;
    struct statvfs volume {};
    if (::statvfs(home.c_str(), &volume) != 0) {
        totalDiskSpace_ = kUnknown;
        freeDiskSpace_ = kUnknown;
        return;
    }
    totalDiskSpace_ =
        formattedByteCount(static_cast<unsigned long long>(volume.f_blocks) * volume.f_frsize);
    freeDiskSpace_ =
        formattedByteCount(static_cast<unsigned long long>(volume.f_bavail) * volume.f_frsize);
}

const std::string& SystemProfile::totalDiskSpace() {
    if (!totalDiskSpace_) readDiskSpace();
    return *totalDiskSpace_;
}

const std::string& SystemProfile::freeDiskSpace() {
    if (!freeDiskSpace_) readDiskSpace();
    return *freeDiskSpace_;
}

const std::vector<std::string>& SystemProfile::screens() {
    if (screens_) return *screens_;
    screens_.emplace();
    if (sources_.screens)
        for (const ScreenInfo& screen : sources_.screens())
            screens_->push_back(
                printed("%.0fx%.0f:@%.0f", screen.width, screen.height, screen.scale));
    return *screens_;
}

const SystemProfile::Features& SystemProfile::features() {
    if (features_) return *features_;
    auto joined = [](const std::vector<std::string>& parts) {
        std::string text;
        for (const auto& part : parts) {
            if (!text.empty()) text += "/";
            text += part;
        }
        return text;
    };
    features_ = Features{
        {"System Version", systemVersion()},
        {"Total Memory", totalMemory()},
        {"Hardware Model", hardwareModel()},
        {"CPU Model", CPUModel()},
        {"CPU is 64 bits", CPUis64bits()},
        {"CPU Count", CPUCount()},
        {"CPU Frequency", CPUFrequency()},
        {"Bus Frequency", busFrequency()},
        {"GPU models", joined(GPUModels())},
        {"Total Disk Space", totalDiskSpace()},
        {"Free Disk Space", freeDiskSpace()},
        {"Screens", joined(screens())},
        {"Langage", langage()},
    };
    return *features_;
}

const std::string& SystemProfile::featuresDescription() {
    return cached(featuresDescription_, [&] {
        std::string text;
        for (const auto& [key, value] : features())
            text += key + ": " + value + ";\n";
        return text;
    });
}

std::string SystemProfile::retrieveConsoleLog() const {
    const std::vector<ConsoleMessage> messages =
        sources_.consoleMessages ? sources_.consoleMessages(consoleLogDate, consoleLogLength)
                                 : JournalReader::messages(consoleLogDate, consoleLogLength);
    std::vector<std::string> newestFirst;
    std::int64_t length = 0;
    for (auto it = messages.rbegin(); it != messages.rend(); ++it) {
        if (it->time < consoleLogDate) continue;
        newestFirst.push_back(localTimeText(it->time) + " " + it->sender + ": " + it->text + "\n");
        if (consoleLogLength > 0) {
            length += static_cast<std::int64_t>(newestFirst.back().size());
            if (length > consoleLogLength) break;
        }
    }
    std::string text;
    for (auto it = newestFirst.rbegin(); it != newestFirst.rend(); ++it)
        text += *it;
    return text;
}

std::string SystemProfile::retrievePreferences() const {
    const fs::path file = sources_.preferencesFile.empty()
                              ? keel::UserSettings::standard().fileURL()
                              : sources_.preferencesFile;
    try {
        nlohmann::json settings = keel::parseBoundedJSON(keel::readBoundedFile(file));
        if (!settings.is_object()) return {};
        for (const auto& key : excludedPreferencesKeys)
            settings.erase(key);
        return keel::prettyJSON(settings);
    } catch (const std::exception&) {
        return {};
    }
}

bool SystemProfile::isSandboxingEnabled(const SystemSources& sources) {
    if (sources.variable("FLATPAK_ID") || sources.variable("SNAP")) return true;
    std::error_code error;
    return fs::exists(under(sources, "/.flatpak-info"), error);
}

std::optional<std::string> SystemProfile::preferredLanguage(const SystemSources& sources) {
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const auto value = sources.variable(name);
        if (!value || value->empty()) continue;
        // "de_CH.UTF-8@euro:de" gives "de-CH".
        std::string locale = value->substr(0, value->find(':'));
        locale = locale.substr(0, locale.find_first_of(".@"));
        if (locale.empty() || locale == "C" || locale == "POSIX") return std::nullopt;
        std::replace(locale.begin(), locale.end(), '_', '-');
        return locale;
    }
    return std::nullopt;
}

SystemProfile::OperatingSystem SystemProfile::operatingSystem(const SystemSources& sources) {
    auto text = readText(under(sources, "/etc/os-release"));
    if (!text) text = readText(under(sources, "/usr/lib/os-release"));
    const auto fields = parseOsRelease(text.value_or(""));
    auto field = [&](const char* key) {
        const auto it = fields.find(key);
        return it == fields.end() ? std::string() : it->second;
    };
    OperatingSystem system{field("ID"), field("VERSION_ID"), field("PRETTY_NAME")};
    if (system.id.empty()) system.id = "linux";
    if (system.prettyName.empty()) {
        system.prettyName = field("NAME");
        if (!field("VERSION").empty())
            system.prettyName += (system.prettyName.empty() ? "" : " ") + field("VERSION");
    }
    return system;
}

}  // namespace outfitter
