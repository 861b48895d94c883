// Which names a browser may reach the server by. A web page can reach a
// server on the user's own machine or network by DNS rebinding: its own
// name is made to resolve to the server's address, and the browser then
// sends the page's requests there with that name as the Host. So a request
// from a browser must name the server by an IP address, by localhost, or by
// one of this machine's names; plain ASCOM clients are not browsers and are
// never asked.
#ifndef ALPACA_HOST_POLICY_H_
#define ALPACA_HOST_POLICY_H_

#include <string>
#include <string_view>
#include <vector>

class HostPolicy {
 public:
  // The machine's own name (also with ".local", and its first label where
  // it has several), and the names given with --allowed-host.
  HostPolicy(const std::string& machine_name, const std::vector<std::string>& allowed);

  // Whether a Host header, with or without its port, names this server.
  bool Allows(std::string_view host) const;

 private:
  std::vector<std::string> names;  // in lower case, without a final dot
};

#endif  // ALPACA_HOST_POLICY_H_
