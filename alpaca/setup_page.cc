#include "alpaca/setup_page.h"

std::string RenderSetupPage(const DimmerService::State& state) {
  std::string light = "not connected";
  if (state.connected && !state.present) {
    light = "connected, but the dimmer does not answer";
  } else if (state.connected) {
    light = state.on ? "on, brightness " + std::to_string(state.intensity) : "off";
  }
  return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
         "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
         "<title>USB Light Dimmer</title></head><body>"
         "<h1>USB Light Dimmer</h1>"
         "<p>alpaca_light_dimmer " PROJECT_VERSION_TEXT
         ": an ASCOM Alpaca CoverCalibrator, device 0.</p>"
         "<p>The light: " + light + ".</p>"
         "<p>Nothing here needs setting up: clients find the server by Alpaca discovery.</p>"
         "</body></html>\n";
}
