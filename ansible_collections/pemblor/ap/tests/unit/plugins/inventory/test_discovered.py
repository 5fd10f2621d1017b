# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.
"""The inventory plugin on recorded pemblorctl output: the commands it runs,
the hosts, variables and groups it makes of their answers, and its cache."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import pytest

from ansible.inventory.data import InventoryData
from ansible.parsing.dataloader import DataLoader

from ansible_collections.pemblor.ap.plugins.inventory import discovered
from ansible_collections.pemblor.ap.plugins.inventory.discovered import InventoryModule

# pemblorctl discover --format json, recorded in the lab.
HQ = (
    '{"mac":"02:00:00:00:00:01","ssid":"lab-1","ip":"198.18.1.1","ip_addr":"198.18.1.1","netmask":"255.254.0.0",'
    '"channel":"1","interface":"lab0","also_at":[]}\n'
    '{"mac":"02:00:00:00:00:02","ssid":"lab-2","ip":"198.18.1.2","ip_addr":"192.168.1.1","netmask":"255.254.0.0",'
    '"channel":"2","interface":"lab0","also_at":["198.18.9.9"]}\n'
)
NORTH = (
    '{"mac":"02:00:00:00:00:0B","ssid":"north","ip":"198.18.2.20","ip_addr":"198.18.2.20","netmask":"255.255.0.0",'
    '"channel":"11","interface":"eth1","also_at":[]}\n'
)
SILENCE = ('Find no devices!\n\nNobody answered: the query was sent and heard on lab0, but no access point\'s '
           'agent answered.\n')
UNREACHABLE = 'ssh: connect to host 192.0.2.10 port 2222: Connection refused\n'
TWO_SITES = [{'name': 'headquarters'}, {'name': 'branch-north', 'host': '192.0.2.10', 'user': 'netops', 'port': 2222}]


class Warnings(list):
    def warning(self, text):
        self.append(text)


@pytest.fixture
def discover(monkeypatch, tmp_path):
    """discover(answers, **options): the inventory made from answers (a
    function from a command line to (rc, stdout, stderr)), the command lines
    run and the warnings shown. options are the source file's."""
    source = tmp_path / 'sites.pemblor.yml'
    source.write_text('plugin: pemblor.ap.discovered\n')
    cache = {}

    def run(answers, flush=False, **options):
        plugin = InventoryModule()
        plugin._cache = cache
        warnings = Warnings()
        commands = []
        settings = dict(plugin='pemblor.ap.discovered', sites=None, timeout=5, pemblorctl='pemblorctl',
                        compose={}, groups={}, keyed_groups=[], strict=False, cache=False)
        settings.update(options)
        monkeypatch.setattr(plugin, '_read_config_data', lambda path: plugin._options.update(settings))
        monkeypatch.setattr(plugin, 'display', warnings)

        def answer(command):
            commands.append(command)
            return answers(command)
        monkeypatch.setattr(plugin, '_run', answer)
        inventory = InventoryData()
        plugin.parse(inventory, DataLoader(), str(source), cache=not flush)
        return inventory, commands, warnings
    return run


def by_site(**outputs):
    """Answers by the site's host (None for this computer)."""
    def answers(command):
        host = command[command.index('--') + 1] if command[0] == 'ssh' else None
        return outputs[host or 'local']
    return answers


def host_vars(inventory, name):
    return inventory.get_host(name).get_vars()


def own_vars(inventory, name):
    return dict((k, v) for k, v in host_vars(inventory, name).items() if k.startswith(('pemblor_', 'ansible_')))


def test_verify_file(tmp_path):
    plugin = InventoryModule()
    for name, accepted in (('sites.pemblor.yml', True), ('pemblor.yaml', True), ('sites.yml', False),
                           ('pemblor.yml.bak', False)):
        (tmp_path / name).write_text('plugin: pemblor.ap.discovered\n')
        assert plugin.verify_file(str(tmp_path / name)) is accepted, name
    assert not plugin.verify_file(str(tmp_path / 'missing.pemblor.yml'))


def test_hosts_variables_and_groups_of_two_sites(discover):
    inventory, commands, warnings = discover(by_site(local=(0, HQ, ''), **{'192.0.2.10': (0, NORTH, '')}),
                                             sites=TWO_SITES, timeout=3, groups={'moved': 'pemblor_ip != pemblor_ip_addr'},
                                             keyed_groups=[{'key': 'pemblor_ssid', 'prefix': 'ssid'}])
    assert commands[0] == ['pemblorctl', 'discover', '--format', 'json', '--timeout', '3']
    assert commands[1] == ['ssh', '-o', 'BatchMode=yes', '-o', 'ConnectTimeout=30', '-l', 'netops', '-p', '2222',
                           '--', '192.0.2.10', 'env LANG=C LANGUAGE=C LC_ALL=C pemblorctl discover --format json '
                           '--timeout 3']
    assert sorted(inventory.hosts) == ['ap-020000000001', 'ap-020000000002', 'ap-02000000000b']
    assert own_vars(inventory, 'ap-020000000002') == dict(
        pemblor_mac='02:00:00:00:00:02', pemblor_ip='198.18.1.2', pemblor_ip_addr='192.168.1.1',
        pemblor_netmask='255.254.0.0', pemblor_ssid='lab-2', pemblor_channel='2', pemblor_interface='lab0',
        pemblor_also_at=['198.18.9.9'], pemblor_site='headquarters', ansible_connection='local')
    north = host_vars(inventory, 'ap-02000000000b')
    assert (north['pemblor_site'], north['ansible_host'], north['ansible_user'], north['ansible_port']) == \
        ('branch-north', '192.0.2.10', 'netops', 2222)
    assert 'ansible_connection' not in north
    groups = inventory.groups
    assert sorted(h.name for h in groups['pemblor_devices'].get_hosts()) == sorted(inventory.hosts)
    assert sorted(h.name for h in groups['pemblor_site_headquarters'].get_hosts()) == \
        ['ap-020000000001', 'ap-020000000002']
    assert [h.name for h in groups['pemblor_site_branch_north'].get_hosts()] == ['ap-02000000000b']
    assert [h.name for h in groups['moved'].get_hosts()] == ['ap-020000000002']
    assert [h.name for h in groups['ssid_north'].get_hosts()] == ['ap-02000000000b']
    assert warnings == []


@pytest.mark.parametrize('answer, words', [
    ((2, '', SILENCE), 'site branch-north: no device answered: Find no devices! Nobody answered:'),
    ((255, '', UNREACHABLE), 'site branch-north: ssh could not reach 192.0.2.10: ssh: connect to host'),
    ((127, '', 'sh: 1: pemblorctl: not found\n'), 'at 192.0.2.10 ended with exit status 127: sh: 1: pemblorctl'),
    ((0, 'MAC ADDRESS  IP ADDRESS\n', ''), 'printed no device'),
])
def test_a_failed_site_is_a_warning_and_the_others_are_listed(discover, answer, words):
    inventory, commands, warnings = discover(by_site(local=(0, HQ, ''), **{'192.0.2.10': answer}), sites=TWO_SITES)
    assert sorted(inventory.hosts) == ['ap-020000000001', 'ap-020000000002']
    assert 'pemblor_site_branch_north' in inventory.groups
    assert len(warnings) == 1 and words in warnings[0]


def test_a_device_at_two_sites_is_one_host_of_the_first(discover):
    sites = [{'name': 'alpha', 'host': 'a'}, {'name': 'beta', 'host': 'b'}, {'name': 'gamma', 'host': 'c'}]
    inventory, commands, warnings = discover(by_site(a=(0, NORTH, ''), b=(0, HQ + NORTH, ''), c=(0, NORTH, '')),
                                             sites=sites)
    north = host_vars(inventory, 'ap-02000000000b')
    assert (north['pemblor_site'], north['pemblor_sites'], north['ansible_host']) == ('alpha', ['beta', 'gamma'], 'a')
    assert [h.name for h in inventory.groups['pemblor_site_alpha'].get_hosts()] == ['ap-02000000000b']
    assert 'pemblor_sites' not in host_vars(inventory, 'ap-020000000001')
    assert warnings == ['pemblor.ap.discovered: ap-02000000000b answered at the sites alpha, beta, gamma; '
                        'it is listed at alpha']


@pytest.mark.parametrize('sites', [[{'name': 'a'}, {'name': 'a', 'host': 'h'}], [{'host': 'h'}]])
def test_bad_sites_are_refused(discover, sites):
    with pytest.raises(discovered.AnsibleParserError):
        discover(by_site(), sites=sites)


def test_the_cache(discover):
    answers = by_site(local=(0, HQ, ''))
    first, commands, warnings = discover(answers, cache=True)
    again, commands, warnings = discover(answers, cache=True)
    assert commands == [] and sorted(again.hosts) == sorted(first.hosts) and 'pemblor_site_local' in again.groups
    flushed, commands, warnings = discover(by_site(local=(0, NORTH, '')), cache=True, flush=True)
    assert len(commands) == 1 and sorted(flushed.hosts) == ['ap-02000000000b']
    # Not cached: the run with a failed site, and a run with the cache off.
    discover(by_site(local=(2, '', SILENCE)), cache=True, flush=True)
    cached, commands, warnings = discover(answers, cache=True)
    assert commands == [] and sorted(cached.hosts) == ['ap-02000000000b']
    uncached, commands, warnings = discover(answers)
    assert len(commands) == 1
