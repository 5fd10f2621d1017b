# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
module: device_info
short_description: List the access points that answer on this host's network segments
version_added: 1.0.0
extends_documentation_fragment:
  - ansible.builtin.action_common_attributes
  - pemblor.ap.common
description:
  - Runs C(pemblorctl discover) on the host the task runs on, which broadcasts
    a query on UDP port 21212 out of every IPv4 interface that is up, and
    returns every access point whose agent answers.
  - Broadcasts do not cross routers, so run it on a host at each site.
  - When nothing answers, the task still succeeds; I(devices) is empty and
    I(diagnosis) says what the tool could tell.
  - Needs the C(pemblor) package (C(pemblorctl)) on the host, and inbound
    UDP 21212 allowed by its firewall.
options:
  timeout:
    description:
      - How long to listen for answers, in seconds.
attributes:
  diff_mode:
    support: none
notes:
  - Never changes anything on the devices.
seealso:
  - module: pemblor.ap.device_address
  - module: pemblor.ap.readdress
'''

EXAMPLES = r'''
- name: List the access points of every site
  pemblor.ap.device_info:
    timeout: 3
  register: site

- name: Show their MAC and IP addresses
  ansible.builtin.debug:
    msg: "{{ site.devices | map(attribute='mac') | zip(site.devices | map(attribute='ip')) | list }}"

- name: Say when a site's access points stay silent
  ansible.builtin.debug:
    msg: "{{ site.diagnosis }}"
  when: site.devices | length == 0
'''

RETURN = r'''
devices:
  description:
    - One dictionary per access point that answered, in the order they answered,
      with the fields of C(pemblorctl discover --format json).
  returned: always
  type: list
  elements: dict
  sample:
    - mac: "02:00:00:BB:00:01"
      ssid: office
      ip: 198.18.1.20
      ip_addr: 198.18.1.20
      netmask: 255.255.0.0
      channel: "6"
      interface: eth1
diagnosis:
  description:
    - When nothing answered, the tool's text telling why it may be so (no usable
      interface, inbound UDP 21212 blocked, nobody answered). Empty otherwise.
  returned: always
  type: str
  sample: "Find no devices!"
reverse_path:
  description:
    - When devices answered but the kernel's reverse-path filter dropped
      packets meanwhile (others may be missing), the tool's note saying how
      many, on which interfaces and the way out. Empty otherwise.
  returned: always
  type: str
  sample: "The kernel's reverse-path filter dropped 1 packets while Pemblor listened; filtering is on for eth1. ..."
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.pemblor.ap.plugins.module_utils.pemblorctl import (
    Pemblorctl, PemblorctlError, argument_spec, failure_message, parse_json_lines)

NOTHING_ANSWERED = 2
NOTE = 'pemblorctl: note: '


def reverse_path_note(err):
    return ' '.join(line[len(NOTE):] for line in err.splitlines() if line.startswith(NOTE))


def main():
    module = AnsibleModule(
        argument_spec=argument_spec(),
        supports_check_mode=True,
    )
    if module.params['timeout'] < 1:
        module.fail_json(msg='timeout must be at least 1 second')

    ctl = Pemblorctl(module)
    rc, out, err = ctl.run(['discover', '--format', 'json', '--timeout', str(module.params['timeout'])])
    if rc == NOTHING_ANSWERED:
        module.exit_json(changed=False, devices=[], diagnosis=err.strip(), reverse_path='')
    if rc != 0:
        module.fail_json(msg=failure_message('this host', 'discover', rc, err), rc=rc, stderr=err)
    try:
        devices = parse_json_lines(out, 'pemblorctl discover')
    except PemblorctlError as e:
        module.fail_json(msg=str(e))
    module.exit_json(changed=False, devices=devices, diagnosis='', reverse_path=reverse_path_note(err))


if __name__ == '__main__':
    main()
