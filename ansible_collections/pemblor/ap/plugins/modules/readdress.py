# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: readdress
short_description: Give many access points at one site consecutive addresses
version_added: 1.0.0
extends_documentation_fragment:
  - ansible.builtin.action_common_attributes
  - pemblor.ap.common
description:
  - Plans new addresses for the devices with C(pemblorctl plan), from I(start)
    upward in the order of I(macs), and carries the plan out with
    C(pemblorctl apply), which changes only what differs on each device.
  - Returns one entry per device with its outcome. The task fails when any
    device ends other than C(verified), C(stored) or C(unchanged), and names
    those devices.
  - In check mode the plan is made and C(pemblorctl apply --dry-run) tells
    what would change. The devices are sent discovery and detail queries
    only, to read them; no change and no reboot.
  - Each password goes by unicast where the network allows it, else by
    broadcast, unless I(unicast_only) forbids it.
  - Reports C(changed) when any device stored a change, whatever its final
    outcome (a device that accepted its change and then failed to come back
    was changed all the same).
options:
  macs:
    description:
      - The devices' MAC addresses, in the order the addresses are handed out.
    type: list
    elements: str
    required: true
  start:
    description:
      - The first address handed out.
    type: str
    required: true
  netmask:
    description:
      - The subnet mask every device should have; left out, each keeps its own.
    type: str
  gateway:
    description:
      - The default gateway every device should have; left out, each keeps its own.
    type: str
  dhcp:
    description:
      - Whether the devices should take their addresses from DHCP; left out,
        each keeps its own flag.
    type: bool
  user:
    description:
      - The devices' administrator user name.
    type: str
    required: true
  password:
    description:
      - The devices' administrator password. It reaches C(pemblorctl) on
        standard input only, and is never logged or returned.
    type: str
    required: true
  unicast_only:
    description:
      - Never send the password by broadcast. A device that cannot be sent it
        by unicast (outside the network of the host's interface, sharing its
        address with another device, or not answering by unicast) is sent
        nothing with the password and reported as C(needs-broadcast); the
        others go on, and the task fails naming it.
      - Passed on as C(--unicast-only).
    type: bool
    default: false
  reboot:
    description:
      - Reboot each changed device and verify it at its new address.
    type: bool
    default: false
  timeout:
    description:
      - How long to wait for each device's settings to be read, in seconds.
attributes:
  check_mode:
    details: The plan is made and the devices are read (discovery and detail queries); no change or reboot is sent.
  diff_mode:
    support: none
seealso:
  - module: pemblor.ap.device_address
  - module: pemblor.ap.device_info
'''

EXAMPLES = r'''
- name: Number the first floor's access points from 198.18.2.10 and reboot them
  pemblor.ap.readdress:
    macs:
      - "02:00:00:00:00:01"
      - "02:00:00:00:00:02"
      - "02:00:00:00:00:03"
    start: 198.18.2.10
    netmask: 255.255.255.0
    gateway: 198.18.2.1
    dhcp: false
    user: admin
    password: "{{ ap_password }}"
    reboot: true
  register: floor

- name: Show where each one answers now
  ansible.builtin.debug:
    msg: "{{ floor.devices | items2dict(key_name='mac', value_name='ip') }}"
'''

RETURN = r'''
plan:
  description: The plan, one row per device; a null value leaves the device's own.
  returned: when planned
  type: list
  elements: dict
  sample:
    - {"mac": "02:00:00:00:00:01", "ip": "198.18.2.10", "netmask": "255.255.255.0", "gateway": "198.18.2.1", "dhcp": false}
devices:
  description:
    - One outcome per device, in plan order, as C(pemblorctl apply --format json)
      prints them; C(result) is one of C(verified), C(stored), C(unchanged),
      C(would-change) (check mode), C(authentication-error), C(timeout),
      C(not-found), C(unknown-result), C(not-verified), C(invalid),
      C(needs-broadcast) (I(unicast_only) held its password back).
  returned: when planned
  type: list
  elements: dict
  sample:
    - mac: "02:00:00:00:00:01"
      result: verified
      ip: 198.18.2.10
      before: {"ip": "198.18.1.20", "netmask": "255.255.0.0", "gateway": "198.18.0.254", "dhcp": false}
      after: {"ip": "198.18.2.10", "netmask": "255.255.255.0", "gateway": "198.18.2.1", "dhcp": false}
failed_devices:
  description: The MACs of the devices that ended outside C(verified), C(stored) and C(unchanged).
  returned: always
  type: list
  elements: str
  sample: []
'''

import os
import tempfile

from ansible.module_utils.basic import AnsibleModule
from ansible.module_utils.common.text.converters import to_text
from ansible_collections.pemblor.ap.plugins.module_utils.pemblorctl import (
    CHANGED_RESULTS, GOOD_RESULTS, PemblorctlError, Pemblorctl, argument_spec, credential_arguments,
    setting_arguments)

PLAN_HEADER = 'mac,ip,netmask,gateway,dhcp'
SOME_DEVICES_FAILED = 8


def plan_cell(value):
    if value is None:
        return ''
    if isinstance(value, bool):
        return 'on' if value else 'off'
    text = to_text(value)
    if ',' in text or '\n' in text:
        raise PemblorctlError('pemblorctl plan gave a value that a plan file cannot hold: %r' % text)
    return text


def plan_text(rows):
    lines = [PLAN_HEADER]
    for row in rows:
        lines.append(','.join(plan_cell(row.get(key)) for key in ('mac', 'ip', 'netmask', 'gateway', 'dhcp')))
    return '\n'.join(lines) + '\n'


def make_plan(ctl, p, macs):
    given = dict((key, p[key]) for key in ('netmask', 'gateway', 'dhcp') if p[key] is not None)
    args = ['plan', '--from', p['start']] + setting_arguments(given)
    args += ['--timeout', str(p['timeout']), '--format', 'json'] + macs
    return ctl.objects(', '.join(macs), 'plan', args)


def apply_plan(module, ctl, p, rows):
    """Runs pemblorctl apply on the plan, kept in a private temporary file;
    returns the outcome objects it printed."""
    handle, path = tempfile.mkstemp(prefix='pemblor-plan-', suffix='.csv', dir=module.tmpdir)
    try:
        with os.fdopen(handle, 'w') as plan_file:
            plan_file.write(plan_text(rows))
        args = ['apply', path] + credential_arguments(p) + ['--timeout', str(p['timeout']), '--format', 'json']
        if p['reboot']:
            args.append('--reboot')
        if module.check_mode:
            args.append('--dry-run')
        # A dry run reads no password, so none is written to it.
        return ctl.objects(', '.join(r['mac'] for r in rows), 'apply', args,
                           None if module.check_mode else p['password'], ok_codes=(0, SOME_DEVICES_FAILED))
    finally:
        os.unlink(path)


def stored_change(outcome):
    """Whether the device took a change, whatever became of it afterwards."""
    if outcome.get('result') in CHANGED_RESULTS:
        return True
    before, after = outcome.get('before'), outcome.get('after')
    return bool(before) and bool(after) and before != after


def describe(outcome):
    text = '%s (%s' % (outcome['mac'], outcome.get('result'))
    if outcome.get('message'):
        text += ': %s' % outcome['message']
    return text + ')'


def main():
    module = AnsibleModule(
        argument_spec=argument_spec(dict(macs=dict(type='list', elements='str', required=True),
                                         start=dict(type='str', required=True)),
                                    credentials=True, change=True),
        supports_check_mode=True,
    )
    p = module.params
    macs = [mac.strip().upper() for mac in p['macs']]
    if not macs:
        module.exit_json(changed=False, plan=[], devices=[], failed_devices=[])
    if len(set(macs)) != len(macs):
        module.fail_json(msg='macs lists a device twice: %s' % ', '.join(sorted(m for m in set(macs) if macs.count(m) > 1)))
    ctl = Pemblorctl(module)
    try:
        rows = make_plan(ctl, p, macs)
        outcomes = apply_plan(module, ctl, p, rows)
    except PemblorctlError as e:
        module.fail_json(msg=str(e), rc=e.rc, changed=False, failed_devices=macs)

    by_mac = dict((to_text(o.get('mac', '')).upper(), o) for o in outcomes)
    devices = []
    for row in rows:
        mac = to_text(row['mac']).upper()
        missing = {'mac': mac, 'result': 'no-outcome', 'message': 'pemblorctl apply reported nothing for this device'}
        devices.append(by_mac.get(mac) or missing)
    good = GOOD_RESULTS + (('would-change',) if module.check_mode else ())
    failed = [d for d in devices if d.get('result') not in good]
    result = dict(changed=any(stored_change(d) for d in devices),
                  plan=rows, devices=devices, failed_devices=[d['mac'] for d in failed])
    if failed:
        module.fail_json(msg='%d of %d devices did not end verified, stored or unchanged: %s'
                         % (len(failed), len(devices), '; '.join(describe(d) for d in failed)), **result)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
