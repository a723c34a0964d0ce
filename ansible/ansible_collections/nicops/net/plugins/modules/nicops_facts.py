#!/usr/bin/python
# -*- coding: utf-8 -*-

from __future__ import absolute_import, division, print_function

__metaclass__ = type

DOCUMENTATION = r'''
---
module: nicops_facts
short_description: The host's network adapters and their IPv4 addresses, as facts
description:
  - Reads every adapter (C(nicopsctl adapters --json)) and the rows of its IP list
    (C(nicopsctl list --json)) on the managed host, changing nothing.
version_added: 0.1.0
options:
  nicopsctl:
    description:
      - The nicopsctl program. A path, or a name looked up on PATH.
    type: str
    default: nicopsctl
notes:
  - Reading works without root.
author:
  - nicops developers
'''

EXAMPLES = r'''
- name: Read the adapters
  nicops.net.nicops_facts:

- name: Show the second adapter's addresses
  ansible.builtin.debug:
    msg: "{{ ansible_facts.nicops_adapters[1].addresses | map(attribute='address') }}"
'''

RETURN = r'''
ansible_facts:
  description: The facts.
  returned: always
  type: complex
  contains:
    nicops_adapters:
      description: Every adapter, in nicopsctl's order.
      type: list
      elements: dict
      contains:
        index:
          description: The adapter index.
          type: int
        connection_name:
          description: The connection name.
          type: str
        interface_name:
          description: The interface name.
          type: str
        addresses:
          description: The adapter's addresses, as its IP list shows them.
          type: list
          elements: dict
          sample: [{address: 10.9.0.10, mask: 255.255.255.0, context: 168361994}]
        gateways:
          description: The adapter's gateway addresses.
          type: list
          elements: str
'''

from ansible.module_utils.basic import AnsibleModule
from ansible_collections.nicops.net.plugins.module_utils.nicopsctl import (
    nicopsctl_command,
    run_json,
)


def main():
    module = AnsibleModule(
        argument_spec=dict(nicopsctl=dict(type='str', default='nicopsctl')),
        supports_check_mode=True,
    )
    ctl = nicopsctl_command(module, module.params['nicopsctl'])
    document, _ = run_json(module, ctl + ['adapters', '--json'])
    adapters = []
    for adapter in document['adapters']:
        listed, _ = run_json(module, ctl + ['list', '--json', '--adapter', str(adapter['index']),
                                            '--kinds', 'ip,gateway'])
        rows = listed['rows']
        adapter = dict(adapter)
        adapter['addresses'] = [dict(address=r['address'], mask=r['mask'], context=r['context'])
                                for r in rows if r['kind'] == 'ip']
        adapter['gateways'] = [r['address'] for r in rows if r['kind'] == 'gateway']
        adapters.append(adapter)
    module.exit_json(changed=False, ansible_facts=dict(nicops_adapters=adapters))


if __name__ == '__main__':
    main()
