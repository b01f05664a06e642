#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Reads discovery configurations as Home Assistant does, with plain Jinja2: abbreviations
# expanded, templates rendered, "None" unknown, availability by its mode.
# stdin:  {"configs": [{"topic", "payload"}], "cases": {label: {topic: payload}}}
# stdout: {"entities": {unique_id: {component, enabled, command_topic, commands}},
#          "cases": {label: {unique_id: [state, available]}}}; exit 77 without Jinja2.
import json
import sys

try:
    from jinja2.sandbox import ImmutableSandboxedEnvironment
except ImportError:
    sys.exit(77)

SHORT = {"avty": "availability", "avty_mode": "availability_mode", "cmd_t": "command_topic",
         "cmd_tpl": "command_template", "en": "enabled_by_default", "ops": "options", "t": "topic",
         "pl_on": "payload_on", "pl_off": "payload_off", "pl_prs": "payload_press",
         "pl_avail": "payload_available", "stat_t": "state_topic", "stat_on": "state_on",
         "stat_off": "state_off", "uniq_id": "unique_id", "val_tpl": "value_template"}
render = ImmutableSandboxedEnvironment().from_string


def expand(node):
    if isinstance(node, list):
        return [expand(n) for n in node]
    return {SHORT.get(k, k): expand(v) for k, v in node.items()} if isinstance(node, dict) else node


def received(template, payload):
    return render(template).render(value=payload, value_json=json.loads(payload)) if template else payload


def state(component, c, topics):
    got = received(c.get("value_template"), topics[c["state_topic"]]) if "state_topic" in c else "None"
    if got == "None":
        return "unknown"
    if component in ("switch", "binary_sensor"):
        on, off = c.get("state_on", c.get("payload_on", "ON")), c.get("state_off", c.get("payload_off", "OFF"))
        return "on" if got == on else "off" if got == off else "invalid:" + got
    return "invalid:" + got if "options" in c and got not in c["options"] else got


def available(c, topics):
    seen = [received(a.get("value_template"), topics[a["topic"]]) == a.get("payload_available", "online")
            for a in c.get("availability", [])]
    mode = c.get("availability_mode", "latest")
    return not seen or (all(seen) if mode == "all" else any(seen) if mode == "any" else seen[-1])


def commands(component, c):
    if component == "select":
        return [render(c.get("command_template", "{{ value }}")).render(value=o) for o in c["options"]]
    return {"switch": [c.get("payload_on", "ON"), c.get("payload_off", "OFF")],
            "button": [c.get("payload_press", "PRESS")]}.get(component, [])


given = json.load(sys.stdin)
configs = [(m["topic"].split("/")[-4], expand(json.loads(m["payload"]))) for m in given["configs"]]
json.dump({"entities": {c["unique_id"]: {"component": component, "enabled": c.get("enabled_by_default", True),
                                         "command_topic": c.get("command_topic"),
                                         "commands": commands(component, c)} for component, c in configs},
           "cases": {label: {c["unique_id"]: [state(component, c, topics), available(c, topics)]
                             for component, c in configs} for label, topics in given["cases"].items()}},
          sys.stdout)
