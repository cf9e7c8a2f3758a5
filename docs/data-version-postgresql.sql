-- PostgreSQL: the data version. Run after schema.sql and schema-postgresql.sql.
--
-- One number that every write of the figures a month's answer is computed from changes, in the writer's
-- own transaction, whoever writes: kpd-appserver keeps each month's finished answer with the version it
-- was computed at and hands it out again while the version read at the start of a call is the same.
-- A write committed before a call starts has changed the version that call reads; a write rolled back
-- has changed nothing, so the answers kept before it stay good.
--
-- One trigger per statement, before the statement runs: a writer locks the version's row with its first
-- writing statement, before any row that statement (or the summary's triggers after it) locks, and holds
-- it to its commit. Writers of the figures take turns, and always lock in the same order: none can wait
-- for another that waits for it.
CREATE TABLE IF NOT EXISTS versao_dados (
    origem      BIGINT NOT NULL,      -- drawn at random when made: another database's count is another's
    versao      BIGINT NOT NULL       -- one more on every writing statement of the tables below
);
INSERT INTO versao_dados (origem, versao)
SELECT floor(random() * 9.2e18)::bigint, 0 WHERE NOT EXISTS (SELECT 1 FROM versao_dados);

-- Finished answers (the call's packets, the browser's JSON), each with the version it was computed at:
-- one instance's work serves every instance over this database.
CREATE TABLE IF NOT EXISTS resposta_guardada (
    chave       TEXT PRIMARY KEY,     -- what was asked, e.g. 'getCkpData 2024-03-01'
    origem      BIGINT NOT NULL,
    versao      BIGINT NOT NULL,
    resposta    BYTEA NOT NULL
);

CREATE OR REPLACE FUNCTION versao_dados_mudou() RETURNS trigger LANGUAGE plpgsql AS $$
BEGIN
    UPDATE versao_dados SET versao = versao + 1;
    RETURN NULL;
END
$$;

CREATE TRIGGER versao_regional BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON regional
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();

CREATE TRIGGER versao_filial BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON filial
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();

CREATE TRIGGER versao_movimento_diario BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON movimento_diario
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();

CREATE TRIGGER versao_estoque_mensal BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON estoque_mensal
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();

CREATE TRIGGER versao_meta_mensal BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON meta_mensal
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();

CREATE TRIGGER versao_carga_etl BEFORE INSERT OR UPDATE OR DELETE OR TRUNCATE ON carga_etl
    FOR EACH STATEMENT EXECUTE FUNCTION versao_dados_mudou();
