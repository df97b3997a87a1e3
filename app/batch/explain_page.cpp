#include "app/batch/explain_page.h"

#include "app/batch/report_html.h"
#include "app/explain/explain_pictures.h"

namespace quillmark::batch {

std::string ExplanationSection(const std::string& heading, const explain::Explanation& e) {
    const std::string& device = e.findings.device;
    return "<h2>" + Escaped(heading) + "</h2>\n<p data-figure=\"description\">" +
           Escaped(explain::Description(e.findings)) + "</p>\n<p>Model: <code data-figure=\"model\">" +
           Escaped(e.model) + "</code></p>\n<pre>" +
           Escaped(explain::ExplanationText(e.findings, e.model, e.proof)) + "</pre>\n" +
           "<h3>Level read against the ideal</h3>\n<p>" +
           PictureImage(explain::BlendCurvePicture(e.device.isotropic, e.redrawn.isotropic),
                        "Mean level read on " + device + " and on its model against the ideal λ, isotropic") +
           "</p>\n<p>Full trilinear filtering follows the grey diagonal; a blend over part of each level climbs in "
           "steps, flat where one level is read alone; an offset moves the curve up or down.</p>\n"
           "<h3>Probe count against the footprint's ratio</h3>\n<p>" +
           PictureImage(explain::ProbeCountPicture(e.device.anisotropic, e.redrawn.anisotropic),
                        "Probe count implied by the level read on " + device + " and on its model, at 16x") +
           "</p>\n<p>The count the level read implies (ρmax / 2^λ) at 16x; the rule takes ⌈ratio⌉ probes up to "
           "16. A device that takes λ from the short axis stays at the ratio whatever the maximum anisotropy.</p>\n"
           "<h3>Error by direction</h3>\n<p>" +
           PictureImage(explain::DirectionErrorPicture(e.findings),
                        "Mean λ error by direction on " + device + ", isotropic") +
           "</p>\n<p>The level read minus the exact rule in 32 directions from the screen centre: a circle on the "
           "black ring is a device that measures the footprint's axes exactly.</p>\n";
}

std::string ExplainPage(const BatchSettings& settings, const explain::Explanation& e) {
    const std::string body = IdentityBlock({IdentifyDevice(e.findings.device), IdentifyDevice(e.model)}) +
                             "<h2>Settings</h2>\n" + SettingsTable(SettingValues(settings.probe)) +
                             ExplanationSection("Explanation of " + e.findings.device, e);
    return Page("Quillmark explanation of " + e.findings.device, body);
}

}  // namespace quillmark::batch
