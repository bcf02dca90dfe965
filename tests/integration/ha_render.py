#!/usr/bin/env python3
"""Renders a Home Assistant value template as its MQTT integration does, with the payload on
standard input parsed as value_json. Usage: ha_render.py TEMPLATE < PAYLOAD"""
import json
import sys

import jinja2

payload = sys.stdin.read()
template = jinja2.Environment().from_string(sys.argv[1])
print(template.render(value=payload, value_json=json.loads(payload)))
