// A report page opened in headless Chromium: does it load, does every image
// decode, and is anything fetched from outside the page; and any other
// question a script can answer there. The page is copied with its
// content-security policy taken out (so that the check's own script runs and
// an outside reference would be fetched rather than blocked) and a script
// that writes its answer into the page, which Chromium then dumps.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>

namespace quillmark::testing {

struct BrowserVerdict {
    int images = 0;   // <img> elements
    int decoded = 0;  // of those, loaded with a size
    int fetched = 0;  // resources fetched, and references to anything but data: URIs
};

inline bool HaveChromium() { return std::system("command -v chromium >/dev/null 2>&1") == 0; }

// The page opened in headless Chromium in a window `width` × `height`
// pixels, with `script` (a function body that returns a text once the page
// has loaded) run in it: what the script returned, or nothing when the page
// did not load or the script did not run.
inline std::optional<std::string> BrowserReport(const std::filesystem::path& page, const std::string& script,
                                                int width = 1280, int height = 900) {
    std::ifstream in(page, std::ios::binary);
    std::string html((std::istreambuf_iterator<char>(in)), {});
    const std::size_t policy = html.find("<meta http-equiv=\"Content-Security-Policy\"");
    if (policy != std::string::npos) html.erase(policy, html.find('>', policy) + 1 - policy);
    const std::string reporter = "<script>window.addEventListener('load', () => {"
                                 "const report = (() => {" + script + "})();"
                                 "const out = document.createElement('pre'); out.id = 'verdict';"
                                 "out.textContent = report; document.body.appendChild(out);});</script>";
    const std::size_t end = html.rfind("</body>");
    if (end == std::string::npos) return std::nullopt;
    html.insert(end, reporter);
    const std::filesystem::path copy = page.parent_path() / ("browser-check-" + page.filename().string());
    std::ofstream(copy, std::ios::binary) << html;
    const std::string command = "timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run "
                                "--hide-scrollbars --window-size=" + std::to_string(width) + "," +
                                std::to_string(height) +
                                " --host-resolver-rules='MAP * ~NOTFOUND' --virtual-time-budget=10000 --dump-dom "
                                "'file://" + copy.string() + "' 2>/dev/null";
    std::string dump;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        std::size_t read;
        while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) dump.append(buffer, read);
        pclose(pipe);
    }
    std::filesystem::remove(copy);
    const std::string start = "<pre id=\"verdict\">";
    const std::size_t at = dump.find(start);
    if (at == std::string::npos) return std::nullopt;
    const std::size_t stop = dump.find("</pre>", at);
    if (stop == std::string::npos) return std::nullopt;
    return dump.substr(at + start.size(), stop - at - start.size());
}

// Nothing when the page did not load (or its script did not run).
inline std::optional<BrowserVerdict> CheckInBrowser(const std::filesystem::path& page) {
    const std::optional<std::string> report = BrowserReport(
        page,
        "const images = [...document.images];"
        "const decoded = images.filter(i => i.complete && i.naturalWidth > 0).length;"
        "const outside = [...document.querySelectorAll('[src],[href]')]"
        ".filter(e => !(e.getAttribute('src') || e.getAttribute('href')).startsWith('data:')).length;"
        "const fetched = performance.getEntriesByType('resource').length + outside;"
        "return 'images ' + images.length + ' decoded ' + decoded + ' fetched ' + fetched;");
    BrowserVerdict verdict;
    if (!report || std::sscanf(report->c_str(), "images %d decoded %d fetched %d", &verdict.images, &verdict.decoded,
                               &verdict.fetched) != 3)
        return std::nullopt;
    return verdict;
}

}  // namespace quillmark::testing
