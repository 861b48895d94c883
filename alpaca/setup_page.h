// The setup page that Alpaca asks every server to have, at /setup and at
// the device's own setup URL: a control page for a browser, on a desk or a
// phone, that connects, switches the light and shows it live.
#ifndef ALPACA_SETUP_PAGE_H_
#define ALPACA_SETUP_PAGE_H_

#include <string>

std::string RenderSetupPage();

// Its style and script, and where the page has them from.
constexpr char kSetupStylePath[] = "/setup/page.css";
constexpr char kSetupScriptPath[] = "/setup/page.js";
extern const char kSetupStyle[];
extern const char kSetupScript[];

#endif  // ALPACA_SETUP_PAGE_H_
