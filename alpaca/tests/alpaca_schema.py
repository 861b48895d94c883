"""Checks Alpaca replies against ASCOM's OpenAPI descriptions of the Device
and Management APIs."""

import os
import re

import jsonschema
import yaml


class AlpacaSchemas:
    def __init__(self, folder):
        self.device = self._load(os.path.join(folder, "AlpacaDeviceAPI_v1.yaml"))
        self.management = self._load(os.path.join(folder, "AlpacaManagementAPI_v1.yaml"))
        # The files' own words on ClientTransactionID: "Zero indicates that a
        # valid value was not supplied"; their schema's minimum of 1 says
        # otherwise, and clients (ConformU among them) expect the zero.
        schemas = self.device["components"]["schemas"]
        schemas["AlpacaResponse"]["properties"]["ClientTransactionID"]["minimum"] = 0
        # DeviceState's values are "one of several basic types", but a
        # TimeStamp matches both of its string branches, which "oneOf"
        # forbids: any of them will do.
        state = self.device["components"]["responses"]["DeviceStateResponse"]
        item = state["content"]["application/json"]["schema"]["allOf"][1]["properties"]["Value"]
        value = item["items"]["properties"]["Value"]
        value["anyOf"] = value.pop("oneOf")

    @staticmethod
    def _load(path):
        with open(path) as file:
            return yaml.safe_load(file)

    @staticmethod
    def _find(description, path, method):
        """The operation for `path` (relative to the API's base) and `method`,
        taking a device type's own path before the one common to all."""
        candidates = []
        for template, operations in description["paths"].items():
            pattern = "^" + re.sub(r"\{[^}]+\}", "[^/]+", template) + "$"
            if re.match(pattern, path) and method in operations:
                candidates.append((template.count("{"), operations[method]))
        if not candidates:
            raise AssertionError("no description of %s %s" % (method.upper(), path))
        return min(candidates, key=lambda c: c[0])[1]

    def check(self, method, path, body):
        """Raises if the JSON `body` of a 200 reply to `method` `path` does not
        match its description."""
        if path.startswith("/api/v1"):
            description, relative = self.device, path[len("/api/v1"):]
        else:
            description, relative = self.management, path
        operation = self._find(description, relative, method.lower())
        reply = operation["responses"]["200"]
        if "$ref" in reply:
            reply = description["components"]["responses"][reply["$ref"].split("/")[-1]]
        schema = reply["content"]["application/json"]["schema"]
        resolver = jsonschema.RefResolver("", description)
        jsonschema.Draft202012Validator(schema, resolver=resolver).validate(body)
