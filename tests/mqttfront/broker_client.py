#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
# A client of the broker that the tests did not write: paho. Subscribes to everything and prints
# each message as a JSON line {topic, payload, retained}; {"ready": true} once the retained ones
# are all in. Each JSON line {topic, payload, retain} on stdin is published with QoS 1.
#   broker_client.py PORT USER PASSWORD
import json
import sys
import threading

try:
    import paho.mqtt.client as mqtt
except ImportError:
    sys.exit(77)

MARK = "broker-client/ready"
lock = threading.Lock()


def say(obj):
    with lock:
        print(json.dumps(obj), flush=True)


def received(client, userdata, m):
    if m.topic == MARK:
        return say({"ready": True})
    say({"topic": m.topic, "payload": m.payload.decode("utf-8", "replace"), "retained": bool(m.retain)})


version = getattr(mqtt, "CallbackAPIVersion", None)
client = mqtt.Client(version.VERSION1) if version else mqtt.Client()
client.username_pw_set(sys.argv[2], sys.argv[3])
client.on_message = received
client.connect("127.0.0.1", int(sys.argv[1]))
# On one connection the broker keeps the order: the mark comes after every retained message.
client.subscribe("#", 1)
client.publish(MARK, "", 1)
client.loop_start()
for line in sys.stdin:
    m = json.loads(line)
    client.publish(m["topic"], m["payload"], 1, m.get("retain", False)).wait_for_publish()
client.loop_stop()
