#!/usr/bin/env python3
"""Writes the benchmark's mixed European text (1 MiB of UTF-8, the same every time) to argv[1]."""
import sys

lines = [
    "Café crème 2,80 € · croissant au beurre 1,50 € · « merci, à bientôt »",
    "Grüße aus Köln: Brötchen 0,45 €, Käse 3,99 €, Straße Nr. 12",
    "¿Qué tal? Año nuevo, señor: jamón 4,20 € y café con leche 1,80 €",
    "Łódź, Kraków: żółć 12,50 zł · Gdańsk, Wrocław, Poznań",
    "Příliš žluťoučký kůň úpěl ďábelské ódy · Brno 99 Kč",
    "Привет, магазин у дома: хлеб 45 ₽, молоко 89 ₽ · Спасибо!",
    "Καλημέρα, ευχαριστώ πολύ · καφές 2,50 € · Αθήνα",
    "TOTAL 1234.56 EUR   cash 1300.00   change 65.44",
]
with open(sys.argv[1], "w", encoding="utf-8") as out:
    size, i = 0, 0
    while size < 1 << 20:
        line = lines[i % len(lines)] + "\n"
        out.write(line)
        size += len(line.encode("utf-8"))
        i += 1
