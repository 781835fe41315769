// The Sparkplug side of the broker tests, with the reference codec: subscribes to a group's
// messages on the broker, prints each one decoded by sparkplug-payload as a JSON line
// {"topic", "payload"} (64-bit integers as decimal strings), and after the first AFTER messages
// publishes the COMMANDS (a JSON array of {"topic", "payload"}), encoded by sparkplug-payload, at
// QoS 1. Ends after EXPECT messages.
//   node sparkplug_peer.js PORT GROUP EXPECT AFTER COMMANDS
'use strict';
const mqtt = require('mqtt');
const sparkplug = require('sparkplug-payload').get('spBv1.0');

const [port, group, expect, after, commands] = process.argv.slice(2);
const client = mqtt.connect({host: '127.0.0.1', port: Number(port), protocolVersion: 4,
                             clientId: 'sparkplug-reference-peer', reconnectPeriod: 0});
// protobufjs gives 64-bit integers as {low, high, unsigned}.
const plain = (key, value) => {
  if (!value || typeof value !== 'object' || typeof value.low !== 'number' || typeof value.high !== 'number') return value;
  const bits = (BigInt(value.high >>> 0) << 32n) | BigInt(value.low >>> 0);
  return (value.unsigned ? bits : BigInt.asIntN(64, bits)).toString();
};
let seen = 0;
let ending = false;

client.on('error', (error) => {
  if (ending) return;  // the broker closing a connection we leave
  console.log('error: ' + error.message); process.exit(2);
});
client.on('connect', () => {
  client.subscribe(`spBv1.0/${group}/+/#`, {qos: 1}, (error) => {
    if (error) { console.log('error: ' + error.message); process.exit(2); }
    console.log('ready');
  });
});
client.on('message', (topic, bytes) => {
  if (/\/(NCMD|DCMD)\//.test(topic)) return;  // our own commands
  const payload = sparkplug.decodePayload(bytes);
  console.log(JSON.stringify({topic, payload}, plain));
  seen += 1;
  if (seen === Number(after)) {
    const list = JSON.parse(commands);
    let sent = 0;
    for (const command of list) {
      client.publish(command.topic, sparkplug.encodePayload(command.payload), {qos: 1}, () => {
        sent += 1;
        if (sent === list.length) console.log('sent');
      });
    }
  }
  if (seen === Number(expect)) {
    ending = true;
    client.end(false, () => process.exit(0));
  }
});
