# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.

from __future__ import absolute_import, division, print_function
__metaclass__ = type

DOCUMENTATION = r'''
---
name: discovered
short_description: The access points that answer at each site, as hosts
version_added: 1.0.0
author:
  - Pemblor developers (@pemblor)
description:
  - Runs C(pemblorctl discover --format json) at every site at once, on this
    computer directly and on another host over SSH, and makes each access
    point that answers a host of the inventory.
  - A device's host name is C(ap-) followed by its MAC address in lower case
    without the colons (C(02:00:5E:82:00:01) becomes C(ap-02005e820001)),
    since colons cannot stand in a host pattern.
  - >-
    A device host's connection variables lead to its site's host, so a task
    on it runs where C(pemblorctl) reaches the device: a play on the hosts
    C(pemblor_devices) with M(pemblor.ap.device_address) and its I(mac) set
    to C({{ pemblor_mac }}) needs no C(delegate_to).
  - Every device is in the group C(pemblor_devices) and in
    C(pemblor_site_NAME) of its site, NAME made safe as Ansible makes group
    names safe (C(branch-north) becomes C(branch_north)).
  - Each device host has the variables C(pemblor_mac), C(pemblor_ip) (the
    address it answered from), C(pemblor_ip_addr) (the address it reports),
    C(pemblor_netmask), C(pemblor_ssid), C(pemblor_channel),
    C(pemblor_interface) (the site host's interface it answered on, when that
    host has several), C(pemblor_also_at) (the other addresses it answered
    from) and C(pemblor_site).
  - A site that cannot be reached, or where no device answers, gets a warning
    with what C(pemblorctl) or C(ssh) said; the other sites are still listed.
  - A device heard at several sites is a host of the first of them in the
    file, with the names of the others in C(pemblor_sites), and a warning.
  - The source file's name ends in C(pemblor.yml) or C(pemblor.yaml).
requirements:
  - C(pemblorctl) (the C(pemblor) package) on each site's host
  - C(ssh) on this computer for sites on other hosts, which must let it in
    without a question (a key, and the host key known)
extends_documentation_fragment:
  - constructed
  - inventory_cache
options:
  plugin:
    description: The name of this plugin; it makes the file a source of this plugin.
    required: true
    choices: ['pemblor.ap.discovered']
    type: str
  sites:
    description:
      - The sites to discover at. Without it, this computer is the one site,
        named C(local).
      - Discovery broadcasts do not cross routers, so a site is a host on the
        access points' network segment.
    type: list
    elements: dict
    suboptions:
      name:
        description: The site's name, unique in the file; it names the site's group.
        type: str
        required: true
      host:
        description:
          - The site's host as an SSH destination (a name or an address). Left
            out, the site is this computer.
          - Reached with C(ssh -o BatchMode=yes), so a password or host key
            question fails the site instead of waiting for an answer.
        type: str
      user:
        description: The user to log in as at I(host); ssh's own default without it.
        type: str
      port:
        description: The SSH port of I(host); ssh's own default without it.
        type: int
  timeout:
    description: How long each site listens for answers, in seconds.
    type: int
    default: 5
  pemblorctl:
    description:
      - The path of C(pemblorctl) on the sites' hosts; found on C(PATH) by default.
    type: str
    default: pemblorctl
notes:
  - Never changes anything on the devices.
  - The cache (I(cache)) keeps the devices until its timeout, or until
    C(ansible-playbook --flush-cache). A run with a site that failed is not
    cached, so the next one tries that site again.
seealso:
  - module: pemblor.ap.device_info
  - module: pemblor.ap.device_address
'''

EXAMPLES = r'''
# sites.pemblor.yml: two sites, each reached over SSH
plugin: pemblor.ap.discovered
sites:
  - name: headquarters
    host: ap-tools.hq.example.com
  - name: branch-north
    host: 192.0.2.10
    user: netops
    port: 2222
timeout: 3
keyed_groups:
  - key: pemblor_ssid
    prefix: ssid

# here.pemblor.yml: the access points on this computer's own networks
plugin: pemblor.ap.discovered

# cached.pemblor.yml: discovered once an hour at most
plugin: pemblor.ap.discovered
sites:
  - name: office
    host: office-gw
cache: true
cache_plugin: ansible.builtin.jsonfile
cache_connection: ~/.cache/pemblor-inventory
cache_timeout: 3600
'''

import json
import os
import re
import shlex
import subprocess
from concurrent.futures import ThreadPoolExecutor

from ansible.errors import AnsibleParserError
from ansible.module_utils.common.text.converters import to_native, to_text
from ansible.plugins.inventory import BaseInventoryPlugin, Cacheable, Constructable, to_safe_group_name

# pemblorctl's exit status when the discovery went out and nobody answered.
NOTHING_ANSWERED = 2
# ssh's exit status for its own failures (unreachable, refused, no key).
SSH_FAILED = 255
# Beyond the discovery's own seconds: logging in, starting the tool.
SLACK_SECONDS = 30
C_LOCALE = {'LC_ALL': 'C', 'LANG': 'C', 'LANGUAGE': 'C'}

# Discover's fields and the host variables they become.
FIELDS = (('mac', 'pemblor_mac'), ('ip', 'pemblor_ip'), ('ip_addr', 'pemblor_ip_addr'),
          ('netmask', 'pemblor_netmask'), ('ssid', 'pemblor_ssid'), ('channel', 'pemblor_channel'),
          ('interface', 'pemblor_interface'))


def host_name(mac):
    return 'ap-' + re.sub('[^0-9a-f]', '', to_text(mac).lower())


def site_group(name):
    return to_safe_group_name('pemblor_site_' + name)


def one_line(text):
    return ' '.join(line.strip() for line in to_text(text or '').splitlines() if line.strip())


class InventoryModule(BaseInventoryPlugin, Constructable, Cacheable):

    NAME = 'pemblor.ap.discovered'

    def verify_file(self, path):
        return super(InventoryModule, self).verify_file(path) and path.endswith(('pemblor.yml', 'pemblor.yaml'))

    def parse(self, inventory, loader, path, cache=True):
        super(InventoryModule, self).parse(inventory, loader, path, cache)
        self._read_config_data(path)
        sites = self._sites()

        cache_key = self.get_cache_key(path)
        use_cache = self.get_option('cache')
        results = None
        if use_cache and cache:
            try:
                results = self._cache[cache_key]
            except KeyError:
                pass
        if results is None:
            results = self._discover_all(sites)
            if use_cache and not any(r['problem'] for r in results):
                self._cache[cache_key] = results
        self._populate(sites, results)

    def _sites(self):
        """The sites of the file, checked: each with a unique name."""
        sites = self.get_option('sites') or [{'name': 'local'}]
        names = set()
        for site in sites:
            if not isinstance(site, dict) or not site.get('name'):
                raise AnsibleParserError('pemblor.ap.discovered: each site needs a name: %s' % to_native(site))
            unknown = set(site) - set(('name', 'host', 'user', 'port'))
            if unknown:
                raise AnsibleParserError('pemblor.ap.discovered: site %s has unknown options: %s'
                                         % (site['name'], ', '.join(sorted(unknown))))
            if site['name'] in names:
                raise AnsibleParserError('pemblor.ap.discovered: two sites are named %s' % site['name'])
            names.add(site['name'])
        return sites

    def _command(self, site):
        """The command line that discovers at site."""
        tool = [self.get_option('pemblorctl'), 'discover', '--format', 'json',
                '--timeout', str(self.get_option('timeout'))]
        if not site.get('host'):
            return tool
        # ssh hands the remote shell one string; the locale is pinned there.
        remote = ' '.join(['env'] + ['%s=C' % name for name in sorted(C_LOCALE)] + [shlex.quote(a) for a in tool])
        ssh = ['ssh', '-o', 'BatchMode=yes', '-o', 'ConnectTimeout=%d' % SLACK_SECONDS]
        if site.get('user'):
            ssh += ['-l', site['user']]
        if site.get('port'):
            ssh += ['-p', str(site['port'])]
        return ssh + ['--', site['host'], remote]

    def _run(self, command):
        """(rc, stdout, stderr) of command; rc None when it could not run or ended too late."""
        env = dict(os.environ, **C_LOCALE)
        try:
            done = subprocess.run(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                  env=env, timeout=self.get_option('timeout') + SLACK_SECONDS)
        except subprocess.TimeoutExpired:
            return None, '', 'no answer within %d s' % (self.get_option('timeout') + SLACK_SECONDS)
        except OSError as e:
            return None, '', '%s: %s' % (command[0], to_native(e.strerror or e))
        return done.returncode, to_text(done.stdout, errors='surrogate_or_replace'), \
            to_text(done.stderr, errors='surrogate_or_replace')

    def _discover(self, site):
        """One site's result: its devices, and a problem in words or None."""
        rc, out, err = self._run(self._command(site))
        devices = []
        for line in out.splitlines():
            try:
                device = json.loads(line) if line.strip() else None
            except ValueError:
                device = None
            if isinstance(device, dict) and device.get('mac'):
                devices.append(device)
        where = 'at %s' % site['host'] if site.get('host') else 'on this computer'
        problem = None
        if rc == NOTHING_ANSWERED:
            problem = 'no device answered: %s' % (one_line(err) or 'pemblorctl gave no reason')
        elif rc == SSH_FAILED and site.get('host'):
            problem = 'ssh could not reach %s: %s' % (site['host'], one_line(err) or 'ssh gave no reason')
        elif rc != 0:
            status = 'could not run' if rc is None else 'ended with exit status %d' % rc
            problem = 'pemblorctl discover %s %s: %s' % (where, status, one_line(err) or 'no message')
        elif not devices:
            problem = 'pemblorctl discover %s printed no device' % where
        return {'devices': devices, 'problem': problem}

    def _discover_all(self, sites):
        """Every site's result, in the sites' order; the sites run at once."""
        with ThreadPoolExecutor(max_workers=len(sites)) as pool:
            return list(pool.map(self._discover, sites))

    def _populate(self, sites, results):
        self.inventory.add_group('pemblor_devices')
        heard_at = {}
        for site, result in zip(sites, results):
            if result['problem']:
                self.display.warning('pemblor.ap.discovered: site %s: %s' % (site['name'], result['problem']))
            group = self.inventory.add_group(site_group(site['name']))
            self.inventory.add_child('pemblor_devices', group)
            for device in result['devices']:
                name = host_name(device['mac'])
                if name in heard_at:
                    heard_at[name].append(site['name'])
                    continue
                heard_at[name] = [site['name']]
                self.inventory.add_host(name, group=group)
                self._set_variables(name, site, device)
        for name, names in heard_at.items():
            if len(names) > 1:
                self.inventory.set_variable(name, 'pemblor_sites', names[1:])
                self.display.warning('pemblor.ap.discovered: %s answered at the sites %s; it is listed at %s'
                                     % (name, ', '.join(names), names[0]))
        strict = self.get_option('strict')
        for name in heard_at:
            variables = self.inventory.get_host(name).get_vars()
            self._set_composite_vars(self.get_option('compose'), variables, name, strict=strict)
            self._add_host_to_composed_groups(self.get_option('groups'), variables, name, strict=strict)
            self._add_host_to_keyed_groups(self.get_option('keyed_groups'), variables, name, strict=strict)

    def _set_variables(self, name, site, device):
        for field, variable in FIELDS:
            self.inventory.set_variable(name, variable, device.get(field))
        self.inventory.set_variable(name, 'pemblor_also_at', device.get('also_at') or [])
        self.inventory.set_variable(name, 'pemblor_site', site['name'])
        host = site.get('host')
        if not host:
            self.inventory.set_variable(name, 'ansible_connection', 'local')
            return
        user, at, address = host.rpartition('@')
        self.inventory.set_variable(name, 'ansible_host', address)
        if site.get('user') or at:
            self.inventory.set_variable(name, 'ansible_user', site.get('user') or user)
        if site.get('port'):
            self.inventory.set_variable(name, 'ansible_port', site['port'])
