#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# Reads discovery configurations as Home Assistant does: abbreviated keys and "~" expanded, the
# templates rendered with plain Jinja2. In: {"configs": [{topic, payload}], "cases": {label: {topic: payload}}}.
# Out: {"cases": {label: the states of the entities with one, ? unknown, x unavailable},
# "commands": [[unique_id without its device's id, command topic, enabled, payload]]}.
import json
import sys

try:
    from jinja2.sandbox import ImmutableSandboxedEnvironment
except ImportError:
    sys.exit(77)

render = ImmutableSandboxedEnvironment().from_string
# Those of the keys read here.
LONG = {"avty": "availability", "avty_mode": "availability_mode", "cmd_t": "command_topic",
        "cmd_tpl": "command_template", "dev": "device", "en": "enabled_by_default", "ids": "identifiers",
        "ops": "options", "pl_avail": "payload_available", "pl_on": "payload_on", "pl_off": "payload_off",
        "pl_prs": "payload_press", "stat_t": "state_topic", "stat_on": "state_on", "stat_off": "state_off",
        "t": "topic", "uniq_id": "unique_id", "val_tpl": "value_template"}


def expand(c, base=None):
    if isinstance(c, list):
        return [expand(e, base) for e in c]
    if not isinstance(c, dict):
        return c
    base = c.get("~", base)
    c = {LONG.get(k, k): expand(v, base) for k, v in c.items() if k != "~"}
    for k, v in c.items():
        if base and (k.endswith("_topic") or k == "topic") and isinstance(v, str):
            c[k] = base + v[1:] if v.startswith("~") else v[:-1] + base if v.endswith("~") else v
    return c



def received(template, payload):
    return render(template).render(value=payload, value_json=json.loads(payload)) if template else payload


def state(component, c, topics):
    seen = [received(a.get("value_template"), topics[a["topic"]]) == a.get("payload_available", "online")
            for a in c.get("availability", [])]
    mode = c.get("availability_mode", "latest")
    if seen and not (all(seen) if mode == "all" else any(seen) if mode == "any" else seen[-1]):
        return "unavailable"
    got = received(c.get("value_template"), topics[c["state_topic"]])
    if got == "None":
        return "unknown"
    if component in ("switch", "binary_sensor"):
        on, off = c.get("state_on", c.get("payload_on", "ON")), c.get("state_off", c.get("payload_off", "OFF"))
        return "on" if got == on else "off" if got == off else "invalid:" + got
    return "invalid:" + got if "options" in c and got not in c["options"] else got


def commands(component, c):
    if component == "select":
        return [render(c["command_template"]).render(value=o) for o in c["options"]]
    return {"switch": [c.get("payload_on", "ON"), c.get("payload_off", "OFF")],
            "button": [c.get("payload_press", "PRESS")]}.get(component, [])


given = json.load(sys.stdin)
configs = [(m["topic"].split("/")[-4], expand(json.loads(m["payload"]))) for m in given["configs"]]
short = {"unknown": "?", "unavailable": "x"}
json.dump({"cases": {label: " ".join(short.get(s, s) for s in (state(component, c, topics)
                                                                for component, c in configs if "state_topic" in c))
                     for label, topics in given["cases"].items()},
           "commands": [[c["unique_id"][len(c["device"]["identifiers"][0]) + 1:], c.get("command_topic"),
                         c.get("enabled_by_default", True), p]
                        for component, c in configs for p in commands(component, c)]}, sys.stdout)
