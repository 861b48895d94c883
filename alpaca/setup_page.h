// The setup page that Alpaca asks every server to have, at /setup and at
// the device's own setup URL: a control page for a browser, on a desk or a
// phone, that connects, switches the light and shows it live. The page,
// its style and its script are the files in setup/, compiled in as they
// stand (the page with the version filled in): nothing to install, nothing
// fetched from elsewhere, and nothing inline, so that the page may forbid
// everything but its own files.
#ifndef ALPACA_SETUP_PAGE_H_
#define ALPACA_SETUP_PAGE_H_

constexpr char kSetupStylePath[] = "/setup/page.css";
constexpr char kSetupScriptPath[] = "/setup/page.js";
extern const char kSetupPage[];
extern const char kSetupStyle[];
extern const char kSetupScript[];

#endif  // ALPACA_SETUP_PAGE_H_
