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

    failures maps a verb to (rc, stderr, result) to make that command fail.
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

    def __call__(self, args):
        verb = args[0]
        if verb in self.failures:
            rc, stderr, result = self.failures[verb]
            out = self.outcome(result, None, None, stderr) if result else ''
            return rc, out, stderr + '\n'
        before = dict(self.settings)
        if verb == 'show':
            return 0, self.outcome('unchanged', before, before), ''
        if verb == 'set':
            for key in ('ip', 'netmask', 'gateway'):
                if '--' + key in args:
                    self.settings[key] = args[args.index('--' + key) + 1]
            if '--dhcp' in args:
                self.settings['dhcp'] = args[args.index('--dhcp') + 1] == 'on'
            return 0, self.outcome('stored', before, dict(self.settings)), 'Change setting successfully!\n'
        if verb == 'reboot':
            self.answers_at = self.lands_at or self.settings['ip']
            return 0, self.outcome('verified', before, dict(self.settings)), 'It may take about one minute to reboot the target.\n'
        raise AssertionError('unexpected pemblorctl command %r' % args)
