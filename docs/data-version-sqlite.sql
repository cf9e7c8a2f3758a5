-- SQLite: the data version. Run after schema.sql and schema-sqlite.sql.
--
-- One number that every write of the figures a month's answer is computed from draws anew at random, in
-- the writer's own transaction, whoever writes: kpd-appserver keeps each month's finished answer with the
-- version it was computed at and hands it out again while the version read at the start of a call is the
-- same. A write committed before a call starts has changed the version that call reads; a write rolled
-- back has changed nothing, so the answers kept before it stay good. Drawn, not counted: a backup put back
-- and loaded again must not come back to the number that a load it undid had reached.
CREATE TABLE IF NOT EXISTS versao_dados (
    origem      INTEGER NOT NULL,     -- drawn at random when made: another database's count is another's
    versao      INTEGER NOT NULL      -- drawn again on every write of the tables below
);
INSERT INTO versao_dados (origem, versao) SELECT abs(random()), 0 WHERE NOT EXISTS (SELECT 1 FROM versao_dados);

-- Finished answers (the call's packets, the browser's JSON), each with the version it was computed at:
-- any server over this file, and an import that computes the months it loaded, can hand them out.
CREATE TABLE IF NOT EXISTS resposta_guardada (
    chave       TEXT PRIMARY KEY,     -- what was asked, e.g. 'getCkpData 2024-03-01'
    origem      INTEGER NOT NULL,
    versao      INTEGER NOT NULL,
    resposta    BLOB NOT NULL
);

-- A bulk load (kpd-appserver --import) holds a row here in its own transaction and changes the version
-- once at its end rather than once per daily row or summary row (schema-sqlite.sql).
CREATE TABLE IF NOT EXISTS movimento_mensal_carga (
    ativa       INTEGER NOT NULL
);

CREATE TRIGGER versao_regional_inclusao AFTER INSERT ON regional
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_regional_alteracao AFTER UPDATE ON regional
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_regional_exclusao AFTER DELETE ON regional
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;

CREATE TRIGGER versao_filial_inclusao AFTER INSERT ON filial
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_filial_alteracao AFTER UPDATE ON filial
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_filial_exclusao AFTER DELETE ON filial
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;

CREATE TRIGGER versao_movimento_diario_inclusao AFTER INSERT ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_movimento_diario_alteracao AFTER UPDATE ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_movimento_diario_exclusao AFTER DELETE ON movimento_diario
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;

CREATE TRIGGER versao_estoque_mensal_inclusao AFTER INSERT ON estoque_mensal
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_estoque_mensal_alteracao AFTER UPDATE ON estoque_mensal
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_estoque_mensal_exclusao AFTER DELETE ON estoque_mensal
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;

CREATE TRIGGER versao_meta_mensal_inclusao AFTER INSERT ON meta_mensal
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_meta_mensal_alteracao AFTER UPDATE ON meta_mensal
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_meta_mensal_exclusao AFTER DELETE ON meta_mensal
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;

CREATE TRIGGER versao_carga_etl_inclusao AFTER INSERT ON carga_etl
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_carga_etl_alteracao AFTER UPDATE ON carga_etl
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_carga_etl_exclusao AFTER DELETE ON carga_etl
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;

-- The summary is written by the daily rows' triggers, but a direct write of it changes the figures too.
CREATE TRIGGER versao_movimento_mensal_inclusao AFTER INSERT ON movimento_mensal
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_movimento_mensal_alteracao AFTER UPDATE ON movimento_mensal
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_movimento_mensal_exclusao AFTER DELETE ON movimento_mensal
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;

-- The region totals follow the summary, but a direct write of them changes the figures too.
CREATE TRIGGER versao_movimento_regional_mensal_inclusao AFTER INSERT ON movimento_regional_mensal
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_movimento_regional_mensal_alteracao AFTER UPDATE ON movimento_regional_mensal
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
CREATE TRIGGER versao_movimento_regional_mensal_exclusao AFTER DELETE ON movimento_regional_mensal
WHEN NOT EXISTS (SELECT 1 FROM movimento_mensal_carga)
BEGIN
    UPDATE versao_dados SET versao = random() & 9223372036854775807;
END;
