# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: device_address
short_description: Set an access point's IP address, netmask, gateway and DHCP flag
version_added: 1.0.0
extends_documentation_fragment:
  - ansible.builtin.action_common_attributes
  - pemblor.ap.common
description:
  - Reads the access point's settings with C(pemblorctl show), compares them
    with the options given, and sends only what differs with C(pemblorctl set).
    An option left out keeps the device's value.
  - When nothing differs, nothing is sent and the task reports no change.
  - With I(reboot), the change, the reboot and the verification are one
    C(pemblorctl set --reboot --wait), and the device must be seen again at
    its new address with the values asked for (its netmask too). So it is
    also when it holds the values already but still answers from another
    address (a change stored earlier without a reboot, C(pemblorctl reboot
    --wait)). A device that does not come back so fails the task with
    C(pemblorctl)'s words.
  - The device is found by its MAC address with broadcasts, so the task runs on
    a host in the device's broadcast domain.
  - The password goes by unicast to the device's address when that lies in
    the network of the interface the device answered on and the device
    answers a query sent there; otherwise by broadcast, where every host on
    the segment receives it, unless I(unicast_only) forbids it.
options:
  mac:
    description:
      - The access point's MAC address, in any letter case.
    type: str
    required: true
  ip:
    description:
      - The IP address the device should have.
    type: str
  netmask:
    description:
      - The subnet mask the device should have.
    type: str
  gateway:
    description:
      - The default gateway the device should have.
    type: str
  dhcp:
    description:
      - Whether the device should take its address from a DHCP server.
    type: bool
  user:
    description:
      - The device's administrator user name.
    type: str
    required: true
  password:
    description:
      - The device's administrator password. It reaches C(pemblorctl) on
        standard input only, and is never logged or returned.
    type: str
    required: true
  unicast_only:
    description:
      - Never send the password by broadcast. A device that cannot be sent it
        by unicast (outside the network of the host's interface, sharing its
        address with another device, or not answering by unicast) is sent
        nothing with the password, and the task fails with C(pemblorctl)'s
        reason, naming the device; its result is C(needs-broadcast).
      - Passed on as C(--unicast-only).
    type: bool
    default: false
  reboot:
    description:
      - After a change, reboot the device and verify it at its new address.
        Without it the change is stored and takes effect at the device's next
        reboot.
    type: bool
    default: false
  timeout:
    description:
      - How long to wait for the device's settings to be read, in seconds.
attributes:
  check_mode:
    details: The settings are read (discovery and detail queries); no change or reboot is sent.
  diff_mode:
    support: full
notes:
  - The values are checked by the tool, with the Setup IP dialog's messages,
    for example "Invalid IP Address!".
seealso:
  - module: pemblor.ap.device_info
  - module: pemblor.ap.readdress
'''

EXAMPLES = r'''
- name: Move an access point and verify it there
  pemblor.ap.device_address:
    mac: "02:00:00:BB:00:01"
    ip: 198.18.1.77
    netmask: 255.255.0.0
    user: admin
    password: "{{ ap_password }}"
    reboot: true

- name: Move an access point, never broadcasting its password
  pemblor.ap.device_address:
    mac: "02:00:00:BB:00:03"
    ip: 198.18.1.78
    user: admin
    password: "{{ ap_password }}"
    unicast_only: true

- name: Let an access point take its address from DHCP
  pemblor.ap.device_address:
    mac: "02:00:00:BB:00:02"
    dhcp: true
    user: admin
    password: "{{ ap_password }}"
'''

RETURN = r'''
before:
  description: The device's settings as read before any change.
  returned: when the device was read
  type: dict
  sample: {"ip": "198.18.1.20", "netmask": "255.255.0.0", "gateway": "198.18.0.254", "dhcp": false}
after:
  description:
    - The device's settings at the end; as read again after a reboot, else what
      it holds (or, in check mode, would hold) after the change.
  returned: when the device was read
  type: dict
  sample: {"ip": "198.18.1.77", "netmask": "255.255.0.0", "gateway": "198.18.0.254", "dhcp": false}
changes:
  description: The settings that differ, with their new values (sent, or to be sent in check mode).
  returned: always
  type: dict
  sample: {"ip": "198.18.1.77"}
result:
  description:
    - The outcome, in C(pemblorctl)'s words; C(unchanged) when nothing differed,
      C(stored) after a change without reboot, C(verified) after a reboot that
      found the device at its new address, C(would-change) in check mode, or a
      failure such as C(authentication-error), C(timeout), C(not-found),
      C(not-verified), C(needs-broadcast) (I(unicast_only) held the password
      back).
  returned: always
  type: str
  sample: verified
address:
  description: The address the device answers from at the end (null when it was never heard).
  returned: always
  type: str
  sample: 198.18.1.77
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.pemblor.ap.plugins.module_utils.pemblorctl import (
    CHANGED_RESULTS, Pemblorctl, PemblorctlError, argument_spec, credential_arguments, current_settings, differences,
    result_name, settings_of, setting_arguments)


def fail(module, error, result):
    outcome = error.outcome or {}
    result = dict(result, result=outcome.get('result') or result_name(error.rc))
    if outcome.get('ip'):
        result['address'] = outcome['ip']
    module.fail_json(msg=str(error), rc=error.rc, **result)


def holds_change(outcome, before):
    """Whether a device that failed holds its change all the same: it took the
    change and failed at the reboot or after it (pemblorctl's ``after`` then
    differs from what was read)."""
    outcome = outcome or {}
    if outcome.get('result') in CHANGED_RESULTS:
        return True
    after = settings_of(outcome.get('after'))
    return bool(after) and differences(after, before) != {}


def main():
    module = AnsibleModule(
        argument_spec=argument_spec(dict(mac=dict(type='str', required=True), ip=dict(type='str')),
                                    credentials=True, change=True),
        supports_check_mode=True,
    )
    p = module.params
    mac = p['mac'].strip().upper()
    timeout = ['--timeout', str(p['timeout'])]
    ctl = Pemblorctl(module)

    try:
        shown = ctl.outcome(mac, 'show', ['show', mac, '--format', 'json'] + timeout)
    except PemblorctlError as e:
        fail(module, e, dict(changed=False, changes={}, address=None))
    before = current_settings(shown)
    changes = differences(p, before)
    after = dict(before, **changes)
    # Stored earlier without a reboot (or a run cut short): the device holds
    # its values but still answers from elsewhere, so the reboot is due.
    awaiting_reboot = bool(p['reboot'] and not changes and not after.get('dhcp') and after.get('ip')
                           and shown.get('ip') and after['ip'] != shown['ip'])
    result = dict(changed=bool(changes) or awaiting_reboot, before=before, after=after, changes=changes,
                  result='unchanged', address=shown.get('ip'))
    if module._diff:
        result['diff'] = dict(before=before, after=after)
    if not changes and not awaiting_reboot:
        module.exit_json(**result)
    if module.check_mode:
        result['result'] = 'would-change'
        module.exit_json(**result)

    credentials = credential_arguments(p) + ['--format', 'json']
    # The change, the reboot and the verification against the values asked
    # for are one pemblorctl job; its result and message are the task's.
    if changes:
        command = 'set'
        args = ['set', mac] + setting_arguments(changes) + credentials + timeout
        if p['reboot']:
            args += ['--reboot', '--wait']
    else:
        command = 'reboot'
        args = ['reboot', mac, '--wait'] + credentials
    try:
        outcome = ctl.outcome(mac, command, args, p['password'])
    except PemblorctlError as e:
        stored_change = holds_change(e.outcome, before)
        if not stored_change:
            # The change was refused: the device holds what it held.
            after = before
        else:
            after = settings_of((e.outcome or {}).get('after')) or after
        fail(module, e, dict(result, changed=stored_change, after=after))
    result['result'] = outcome.get('result') or 'stored'
    result['address'] = outcome.get('ip') or result['address']
    after = settings_of(outcome.get('after')) or after
    result['after'] = after
    result['changed'] = result['result'] != 'unchanged'
    if module._diff:
        result['diff'] = dict(before=before, after=after)
    module.exit_json(**result)


if __name__ == '__main__':
    main()
