// A report page opened in headless Chromium: does it load, does every image
// decode, and is anything fetched from outside the page? The page is copied
// with its content-security policy taken out (so that the check's own script
// runs and an outside reference would be fetched rather than blocked) and a
// script that writes the verdict into the page, which Chromium then dumps.
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

// Nothing when the page did not load (or its script did not run).
inline std::optional<BrowserVerdict> CheckInBrowser(const std::filesystem::path& page) {
    std::ifstream in(page, std::ios::binary);
    std::string html((std::istreambuf_iterator<char>(in)), {});
    const std::size_t policy = html.find("<meta http-equiv=\"Content-Security-Policy\"");
    if (policy != std::string::npos) html.erase(policy, html.find('>', policy) + 1 - policy);
    const std::string script =
        "<script>window.addEventListener('load', () => {"
        "const images = [...document.images];"
        "const decoded = images.filter(i => i.complete && i.naturalWidth > 0).length;"
        "const outside = [...document.querySelectorAll('[src],[href]')]"
        ".filter(e => !(e.getAttribute('src') || e.getAttribute('href')).startsWith('data:')).length;"
        "const fetched = performance.getEntriesByType('resource').length + outside;"
        "const out = document.createElement('pre'); out.id = 'verdict';"
        "out.textContent = 'images ' + images.length + ' decoded ' + decoded + ' fetched ' + fetched;"
        "document.body.appendChild(out);});</script>";
    const std::size_t end = html.rfind("</body>");
    if (end == std::string::npos) return std::nullopt;
    html.insert(end, script);
    const std::filesystem::path copy = page.parent_path() / ("browser-check-" + page.filename().string());
    std::ofstream(copy, std::ios::binary) << html;
    const std::string command = "timeout 120 chromium --headless --no-sandbox --disable-gpu --no-first-run "
                                "--host-resolver-rules='MAP * ~NOTFOUND' --virtual-time-budget=10000 --dump-dom "
                                "'file://" + copy.string() + "' 2>/dev/null";
    std::string dump;
    if (FILE* pipe = popen(command.c_str(), "r")) {
        char buffer[65536];
        std::size_t read;
        while ((read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) dump.append(buffer, read);
        pclose(pipe);
    }
    std::filesystem::remove(copy);
    const std::size_t at = dump.find("<pre id=\"verdict\">");
    BrowserVerdict verdict;
    if (at == std::string::npos ||
        std::sscanf(dump.c_str() + at, "<pre id=\"verdict\">images %d decoded %d fetched %d", &verdict.images,
                    &verdict.decoded, &verdict.fetched) != 3)
        return std::nullopt;
    return verdict;
}

}  // namespace quillmark::testing
