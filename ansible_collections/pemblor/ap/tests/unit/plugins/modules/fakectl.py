# -*- coding: utf-8 -*-
# Copyright 2026 The Pemblor developers. See COPYING.
"""A scripted pemblorctl for one access point, speaking the outcome JSON."""

from __future__ import absolute_import, division, print_function
__metaclass__ = type

import json

MAC = '02:00:00:BB:00:01'
PASSWORD = 'Pw-9f3kq-secret'


class FakeDevice:
    """An access point behind pemblorctl show/set/reboot --format json.

    failures maps a stage to (rc, stderr, result) to make it fail: 'show',
    'set' (the change is refused) or 'reboot' (the reboot and the wait, of
    ``reboot`` or of ``set --reboot``; a change before it is kept).
    lands_at is where the device answers after a reboot; pemblorctl tells it
    as not-verified when that is not the address it was set to.
    """

    def __init__(self, failures=None, lands_at=None):
        self.settings = dict(ip='198.18.1.20', netmask='255.255.0.0', gateway='198.18.0.254', dhcp=False)
        self.answers_at = '198.18.1.20'
        self.failures = failures or {}
        self.lands_at = lands_at
        self.password_seen = []

    def outcome(self, result, before, after, message=None):
        record = dict(mac=MAC, result=result, ip=self.answers_at, before=before, after=after)
        if message:
            record['message'] = message
        return json.dumps(record) + '\n'

    def fail(self, stage, before, after):
        rc, stderr, result = self.failures[stage]
        out = self.outcome(result, before, after, stderr) if result else ''
        return rc, out, stderr + '\n'

    def __call__(self, args):
        verb = args[0]
        before = dict(self.settings)
        if verb == 'show':
            if 'show' in self.failures:
                return self.fail('show', None, None)
            return 0, self.outcome('unchanged', before, before), ''
        if verb == 'set':
            if 'set' in self.failures:
                return self.fail('set', before, before)
            for key in ('ip', 'netmask', 'gateway'):
                if '--' + key in args:
                    self.settings[key] = args[args.index('--' + key) + 1]
            if '--dhcp' in args:
                self.settings['dhcp'] = args[args.index('--dhcp') + 1] == 'on'
            if '--reboot' not in args:
                return 0, self.outcome('stored', before, dict(self.settings)), 'Change setting successfully!\n'
        elif verb != 'reboot':
            raise AssertionError('unexpected pemblorctl command %r' % args)
        if 'reboot' in self.failures:
            return self.fail('reboot', before, dict(self.settings))
        self.answers_at = self.lands_at or self.settings['ip']
        if not self.settings['dhcp'] and self.answers_at != self.settings['ip']:
            message = 'After restarting, the device answered from %s, not from its new address %s.' % (
                self.answers_at, self.settings['ip'])
            return 4, self.outcome('not-verified', before, dict(self.settings), message), message + '\n'
        return 0, self.outcome('verified', before, dict(self.settings)), 'It may take about one minute to reboot the target.\n'
