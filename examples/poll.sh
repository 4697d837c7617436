#!/bin/sh
# A sample poller, to run from a service manager (systemd, a supervisor) or a terminal: every
# 10 minutes, requests 0 and 1 of quelsor.ini are sent over the sound devices, each tried three
# times; every result is appended to a CSV file and a JSON Lines file and published to the MQTT
# broker on this machine under quelsor/<request>/<name>. Stop it with Ctrl-C or SIGTERM: the
# request in progress is finished and a summary is printed.
exec quelsor-cli poll --config quelsor.ini --request 0,1 --every 10m --timeout 10 --retries 2 \
  --csv quelsor-results.csv --jsonl quelsor-results.jsonl \
  --mqtt localhost:1883 --topic quelsor
